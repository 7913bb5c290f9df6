// CDirectory: static helpers for path strings, file lookups and whole-directory
// operations (create with parents, remove a tree, list, delete by pattern,
// compare contents). Paths are CStrings in the system's own syntax (see
// platform/Path.h; "separator" below means its separator); folder
// results of the path queries end in a separator.
#pragma once

#include "ArrayEx.h"
#include "platform/CString.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/WinTypes.h"

class CDirectory {
public:
    CDirectory() = delete;

    // ---- path strings -------------------------------------------------------

    // a and b joined by exactly one separator: one trailing separator of a is
    // dropped (unless a is a root) and, when b is not empty and does not start
    // with a separator, one is added. An empty a yields b unchanged.
    static CString Concat(CString a, const CString& b);

    // The extension with its dot (".txt"); empty when the name has none.
    static CString GetFileExtension(const CString& path);
    // Whether GetFileExtension(path) equals `extension` (given with its dot),
    // ignoring case.
    static bool HasFileExtension(const CString& path, const CString& extension);
    // The file name without folder and extension.
    static CString SplitFileNameWithoutExtensionFromPath(const CString& path);
    // The file name with its extension, without folder.
    static CString SplitFileNameAndExtensionFromPath(const CString& path);
    // The folder part, ending in a separator when the path has one ("" for a
    // bare name).
    static CString SplitPathFromFileNameWithPath(const CString& path);

    // There are no short (8.3) names here: the absolute path when the path
    // exists, else empty.
    static CString Make8_3Path(const CString& path);
    // The absolute, normalised form of the path (nothing is looked up).
    static CString FullPath(const CString& path);

    // The user's private temporary folder (mode 0700), with a trailing separator;
    // empty when no private folder can be had.
    static CString GetTempPathW();
    // Folder of the running program, with a trailing separator.
    static CString GetExePath();
    // Folder of a module already loaded in the process ("X.dll" means
    // "libX.so"), with a trailing separator; empty when it is not loaded.
    static CString GetModulePath(const CString& moduleName);
    // The running program's file name; without the flag its last four
    // characters (a dot and three letters) are cut off.
    static CString GetExeNameWithoutPath(bool withExtension);
    // A shell folder by CSIDL number (CSIDL_APPDATA ...), with a trailing separator;
    // empty when the number is unknown or the folder cannot be determined.
    static CString GetSpecialDirectory(int csidl);

    // ---- lookups --------------------------------------------------------------

    // 64-bit size of a file; 0 when it cannot be queried.
    static ULONGLONG GetFileSize(const CString& path);
    // Sets (bSet) or clears the given FILE_ATTRIBUTE_* bits and returns the
    // new attribute word; INVALID_FILE_ATTRIBUTES (nothing changed) when the
    // attributes cannot be read.
    static DWORD ModifyFileAttributes(const CString& path, DWORD attributes, bool bSet);
    // Whether a directory of that name exists ("/" and mount points included).
    // The path is taken literally: '*' and '?' are not wildcards here.
    static bool Exist(const CString& path);
    // Whether a file (not a directory) exists at directory + separator + fileName;
    // with an empty fileName `directory` is the whole file path. Literal too.
    static bool FileExist(CString directory, const CString& fileName);
    // Whether a bare name holds none of \ / " < > * ? | : nor any character
    // of `extraForbidden`. An empty name is valid.
    static bool IsValidFileName(const CString& name, const CString& extraForbidden = CString());

    // ---- names ----------------------------------------------------------------

    // Encodes the characters * : > ; < + ? / ~ | , of the name part (after the
    // last separator) as '~' plus a letter, so that any display name can be stored.
    static CString CreateFileNameForDisk(const CString& path);
    // Undoes CreateFileNameForDisk over the whole string.
    static CString CreateFileNameForDisplay(const CString& path);
    // directory + "~TMPSI<n>.<extension>" for the smallest n >= 1 that names
    // no existing file. Creates nothing.
    static CString GetTempFileNameW(const CString& directory, const CString& extension);
    // The bare name prefix + index (zero-padded to `digits`) + "." + extension
    // for one more than the highest index found in the directory.
    static CString GetNextIndexedFilename(const CString& directory, const CString& prefix, int digits,
                                          const CString& extension);
    // The index of a name built as prefix + digits + suffix; 0 when the length
    // does not fit or no digits remain.
    static int ParseFileIndex(const CString& name, const CString& prefix, int digits, const CString& suffix);
    // Replaces %NAME% references in place, from the left, until an unknown
    // variable is met or a bounded number of replacements was made.
    static void ExpandEnvironmentVariables(CString& text);

    // ---- whole-directory operations --------------------------------------------

    // Creates the directory with every missing parent; returns true. Raises
    // CUserException (see Throw) when a level cannot be created.
    static bool Make(const CString& path);
    // Deletes a directory tree (read-only files included). Symbolic links are
    // removed themselves, never followed. "/", a mount point and "" always
    // raise; other failures raise when bThrow is set, else give false.
    static bool Remove(const CString& directory, bool bThrow);
    // Deletes every file (not directory, not link to a directory) matching a
    // path whose last part may hold wildcards. Raises on the first failure.
    static void DeleteFiles(const CString& pattern);
    // Appends the bare names of the entries matching `pattern` that have a
    // bit of `attributeMask`; returns the array's size afterwards.
    static int ListFiles(const CString& directory, CArrayEx<CString>& names, const CString& pattern,
                         DWORD attributeMask);
    // Appends the full paths of the files matching `pattern` in the tree,
    // deeper levels first; symbolic links to directories are not entered.
    // Returns the array's size afterwards.
    static int ListFilesRecursive(const CString& directory, CArrayEx<CString>& paths, const CString& pattern);
    // Deletes the files matching `pattern` last written more than `days`
    // days ago (every match when days is 0); returns how many were deleted.
    static int DeleteOlderFiles(const CString& directory, const CString& pattern, int days);
    // Replaces the symbolic link nearest to the end of the path by its
    // target; the path unchanged when no level is a link.
    static CString ResolveReparsePoints(const CString& path);

    // Compares two files' contents. Returns whether the comparison ran;
    // *equal tells whether the contents are identical.
    static bool Compare(const CString& file1, const CString& file2, bool* equal);
    // Whether the file system of the path's folder has at least `bytes` free
    // for the caller; false when the path has no folder or space is unknown.
    static bool EnoughRoomForFile(const CString& path, ULONGLONG bytes);
    // The first removable drive of at least 20 MiB (with the given label when
    // not empty; on a USB bus when checkBus); fills its mount point and
    // volume label. Returns whether one was found.
    static bool FindRemovableUsbDrive(const CString& volumeLabel, CString& drive, CString& volumeName,
                                      bool checkBus);

    // Gives up an operation: raises new CUserException carrying the text
    // "<operation> failed. <path>. LastError <errorCode>".
    [[noreturn]] static void Throw(const CString& operation, const CString& path, DWORD errorCode, int line);

private:
    static bool RemoveTree(const CString& directory, bool bThrow);
};

#include "Directory.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "platform/Module.h"
#include "platform/Path.h"

namespace {

// A self-referencing variable would otherwise be expanded for ever.
constexpr int ciMaxEnvironmentReplacements = 100;
constexpr int ciCompareBlockSize = 65536;
constexpr ULONGLONG ciMinRemovableDriveSize = 20ull * 1024 * 1024;
constexpr int ciMaxDiagnosticLength = 511;

// Characters that cannot be stored in a file name and the letters that
// stand for them after a tilde.
struct SNameCode {
    char16_t ch;
    char16_t letter;
};
constexpr SNameCode caNameCodes[] = {
    {u'*', u'A'}, {u':', u'C'}, {u'>', u'G'}, {u';', u'K'}, {u'<', u'L'}, {u'+', u'P'},
    {u'?', u'Q'}, {u'/', u'S'}, {u'~', u'T'}, {u'|', u'V'}, {u',', u'k'},
};

bool EndsWithSeparator(const CString& path)
{
    return !path.IsEmpty() && platform::IsPathSeparator(path[path.GetLength() - 1]);
}

CString WithSeparator(const CString& path)
{
    return EndsWithSeparator(path) ? path : path + platform::PathSeparator();
}

// Folder part (with its trailing separator) and name part of a path.
void SplitAtLastSeparator(const CString& path, CString& folder, CString& name)
{
    int slash = platform::ReverseFindSeparator(path);
    folder = path.Left(slash + 1);
    name = path.Mid(slash + 1);
}

// Position of the extension's dot in a bare name, or -1.
int ExtensionStart(const CString& name)
{
    return name.ReverseFind(u'.');
}

CString DirectoryPart(const CString& path)
{
    CString folder, name;
    SplitAtLastSeparator(path, folder, name);
    return folder;
}

// Decimal value of the leading digits, as _wtoi reads them.
int LeadingNumber(const CString& text)
{
    int i = 0;
    while (i < text.GetLength() && CString::IsSpaceChar(text[i]))
        ++i;
    bool negative = false;
    if (i < text.GetLength() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.GetLength() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > 0x7FFFFFFFll)
            value = 0x7FFFFFFFll;
    }
    return static_cast<int>(negative ? -value : value);
}

} // namespace

// ---- path strings ---------------------------------------------------------------

CString CDirectory::Concat(CString a, const CString& b)
{
    if (a.IsEmpty())
        return b;
    // A root keeps its separator ("/" joined with "x" is "/x", not "x"), so a
    // leading separator of b goes: "C:\" and "\x" make "C:\x", not "\x".
    if (platform::IsRootPath(a))
        return (!b.IsEmpty() && platform::IsPathSeparator(b[0])) ? a + b.Mid(1) : a + b;
    if (EndsWithSeparator(a))
        a = a.Left(a.GetLength() - 1);
    if (!b.IsEmpty() && !platform::IsPathSeparator(b[0]))
        a += platform::PathSeparator();
    return a + b;
}

CString CDirectory::GetFileExtension(const CString& path)
{
    CString folder, name;
    SplitAtLastSeparator(path, folder, name);
    int dot = ExtensionStart(name);
    return dot < 0 ? CString() : name.Mid(dot);
}

bool CDirectory::HasFileExtension(const CString& path, const CString& extension)
{
    return GetFileExtension(path).CompareNoCase(extension) == 0;
}

CString CDirectory::SplitFileNameWithoutExtensionFromPath(const CString& path)
{
    CString folder, name;
    SplitAtLastSeparator(path, folder, name);
    int dot = ExtensionStart(name);
    return dot < 0 ? name : name.Left(dot);
}

CString CDirectory::SplitFileNameAndExtensionFromPath(const CString& path)
{
    CString folder, name;
    SplitAtLastSeparator(path, folder, name);
    return name;
}

CString CDirectory::SplitPathFromFileNameWithPath(const CString& path)
{
    return DirectoryPart(path);
}

CString CDirectory::Make8_3Path(const CString& path)
{
    if (path.IsEmpty() || platform::GetAttributes(path) == INVALID_FILE_ATTRIBUTES)
        return CString();
    return platform::FullPath(path);
}

CString CDirectory::FullPath(const CString& path)
{
    return platform::FullPath(path);
}

CString CDirectory::GetTempPathW()
{
    return platform::PrivateTempDirectory();
}

CString CDirectory::GetExePath()
{
    return DirectoryPart(platform::ExecutablePath());
}

CString CDirectory::GetModulePath(const CString& moduleName)
{
    platform::ModuleHandle module = platform::FindLoadedModule(moduleName);
    if (!module)
        return CString();
    return DirectoryPart(platform::ModuleFileName(module));
}

CString CDirectory::GetExeNameWithoutPath(bool withExtension)
{
    CString name = SplitFileNameAndExtensionFromPath(platform::ExecutablePath());
    if (withExtension)
        return name;
    // Programs here usually have no extension: only a real one is cut off.
    return SplitFileNameWithoutExtensionFromPath(name);
}

CString CDirectory::GetSpecialDirectory(int csidl)
{
    CString folder = platform::SpecialFolder(csidl);
    return folder.IsEmpty() ? folder : WithSeparator(folder);
}

// ---- lookups ----------------------------------------------------------------------

ULONGLONG CDirectory::GetFileSize(const CString& path)
{
    ULONGLONG size = 0;
    return platform::QueryFileSize(path, size) ? size : 0;
}

DWORD CDirectory::ModifyFileAttributes(const CString& path, DWORD attributes, bool bSet)
{
    DWORD current = platform::GetAttributes(path);
    if (current == INVALID_FILE_ATTRIBUTES)
        return INVALID_FILE_ATTRIBUTES;
    DWORD wanted = bSet ? (current | attributes) : (current & ~attributes);
    platform::SetAttributes(path, wanted);
    // Report what the file now has, which differs from `wanted` for bits
    // that cannot be stored here.
    return platform::GetAttributes(path);
}

bool CDirectory::Exist(const CString& path)
{
    if (path.IsEmpty())
        return false;
    // There are no drive letters: "/" and mount points are ordinary
    // directories and are looked up like any other path. '*' and '?' are
    // legal in names here, so the path is looked up as written, never read
    // as a pattern that some other entry could match.
    DWORD attributes = platform::GetAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CDirectory::FileExist(CString directory, const CString& fileName)
{
    if (!directory.IsEmpty() && !fileName.IsEmpty() && !EndsWithSeparator(directory))
        directory += platform::PathSeparator();
    CString path = directory + fileName;
    if (path.IsEmpty())
        return false;
    // Looked up as written, like Exist.
    DWORD attributes = platform::GetAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CDirectory::IsValidFileName(const CString& name, const CString& extraForbidden)
{
    for (int i = 0; i < name.GetLength(); ++i) {
        char16_t ch = name[i];
        if (CString(u"\\/\"<>*?|:").Find(ch) >= 0 || extraForbidden.Find(ch) >= 0)
            return false;
    }
    return true;
}

// ---- names --------------------------------------------------------------------------

CString CDirectory::CreateFileNameForDisk(const CString& path)
{
    CString folder, name;
    int slash = platform::ReverseFindSeparator(path);
    if (slash >= 0) {
        folder = path.Left(slash);
        name = path.Mid(slash + 1);
    } else {
        name = path;
    }
    CString encoded;
    for (int i = 0; i < name.GetLength(); ++i) {
        char16_t ch = name[i];
        bool replaced = false;
        for (const auto& code : caNameCodes) {
            if (code.ch == ch) {
                encoded += u'~';
                encoded += code.letter;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            encoded += ch;
    }
    if (slash == 0)
        return path.Left(1) + encoded; // a name directly below the root
    return Concat(folder, encoded);
}

CString CDirectory::CreateFileNameForDisplay(const CString& path)
{
    CString decoded;
    for (int i = 0; i < path.GetLength(); ++i) {
        char16_t ch = path[i];
        if (ch == u'~' && i + 1 < path.GetLength()) {
            char16_t letter = path[i + 1];
            bool replaced = false;
            for (const auto& code : caNameCodes) {
                if (code.letter == letter) {
                    decoded += code.ch;
                    replaced = true;
                    break;
                }
            }
            if (replaced) {
                ++i;
                continue;
            }
        }
        decoded += ch;
    }
    return decoded;
}

CString CDirectory::GetTempFileNameW(const CString& directory, const CString& extension)
{
    for (unsigned n = 1;; ++n) {
        CString name;
        name.Format(u"~TMPSI%u", n);
        if (!extension.IsEmpty())
            name += u"." + extension;
        CString path = Concat(directory, name);
        // A folder of that name would make the file impossible to create.
        if (platform::GetAttributes(path) == INVALID_FILE_ATTRIBUTES)
            return path;
    }
}

int CDirectory::ParseFileIndex(const CString& name, const CString& prefix, int digits, const CString& suffix)
{
    if (digits <= 0 ||
        name.GetLength() != static_cast<long long>(prefix.GetLength()) + digits + suffix.GetLength())
        return 0;
    // The name must really be built from prefix and suffix: other files whose
    // names merely use the same letters do not count.
    if (name.Left(prefix.GetLength()).CompareNoCase(prefix) != 0 ||
        name.Right(suffix.GetLength()).CompareNoCase(suffix) != 0)
        return 0;
    CString number = name.Mid(prefix.GetLength(), digits);
    for (int i = 0; i < number.GetLength(); ++i)
        if (number[i] < u'0' || number[i] > u'9')
            return 0;
    return LeadingNumber(number);
}

CString CDirectory::GetNextIndexedFilename(const CString& directory, const CString& prefix, int digits,
                                           const CString& extension)
{
    CString pattern = extension.IsEmpty() ? CString(u"*.*") : u"*." + extension;
    CString suffix = extension.IsEmpty() ? CString() : u"." + extension;
    CArrayEx<CString> names;
    ListFiles(directory, names, pattern, 0xFFFFFFFFu);
    int highest = 0;
    for (int i = 0; i < names.GetSize(); ++i) {
        int index = ParseFileIndex(names[i], prefix, digits, suffix);
        if (index > highest)
            highest = index;
    }
    // Once the index outgrows its width the names no longer parse; never
    // hand out a name that is already taken. An index read as the largest
    // int has no successor: the lowest free index is used then.
    for (int index = highest < 0x7FFFFFFF ? highest + 1 : 1;; ++index) {
        CString name;
        name.Format(u"%s%0*d%s", prefix.GetString(), digits, index, suffix.GetString());
        if (directory.IsEmpty() || platform::GetAttributes(Concat(directory, name)) == INVALID_FILE_ATTRIBUTES)
            return name;
    }
}

void CDirectory::ExpandEnvironmentVariables(CString& text)
{
    for (int replacements = 0; replacements < ciMaxEnvironmentReplacements; ++replacements) {
        int open = text.Find(u'%');
        if (open < 0)
            return;
        int close = text.Find(u'%', open + 1);
        if (close < 0)
            return;
        CString value;
        if (!platform::EnvironmentVariable(text.Mid(open + 1, close - open - 1), value))
            return;
        text = text.Left(open) + value + text.Mid(close + 1);
    }
}

// ---- whole-directory operations -------------------------------------------------------

bool CDirectory::Make(const CString& path)
{
    CString target = path;
    if (EndsWithSeparator(target) && target.GetLength() > 1)
        target = target.Left(target.GetLength() - 1);

    auto createLevel = [](const CString& level) {
        if (Exist(level))
            return;
        if (platform::MakeDirectory(level))
            return;
        DWORD error = platform::LastFileError();
        // Another process may have created it in the meantime.
        if (Exist(level))
            return;
        Throw(u"CreateDirectory", level, error, __LINE__);
    };
    for (int i = 1; i < target.GetLength() - 1; ++i)
        if (platform::IsPathSeparator(target[i]))
            createLevel(target.Left(i));
    createLevel(target);
    return true;
}

bool CDirectory::Remove(const CString& directory, bool bThrow)
{
    if (directory.IsEmpty())
        Throw(u"Remove Empty", directory, 0, __LINE__);
    if (platform::IsMountPoint(directory))
        Throw(u"Remove RootDir", directory, 0, __LINE__);

    // A link given as the tree itself goes as a link; what it points to is
    // not part of the tree.
    CString trimmed = directory;
    while (trimmed.GetLength() > 1 && EndsWithSeparator(trimmed))
        trimmed = trimmed.Left(trimmed.GetLength() - 1);
    DWORD attributes = platform::GetAttributes(trimmed);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (platform::RemoveFile(trimmed))
            return true;
        if (bThrow)
            Throw(u"RemoveDirectory", trimmed, platform::LastFileError(), __LINE__);
        return false;
    }
    return RemoveTree(trimmed, bThrow);
}

bool CDirectory::RemoveTree(const CString& directory, bool bThrow)
{
    // A folder without write permission could not lose its entries.
    DWORD own = platform::GetAttributes(directory);
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_READONLY))
        platform::SetAttributes(directory, own & ~FILE_ATTRIBUTE_READONLY);

    // The folder is opened without following a link, so a folder swapped
    // for a link after it was listed is not entered.
    std::vector<platform::FileEntry> entries;
    if (!platform::EnumerateDirectory(directory, u"*.*", entries, false))
        return false;

    bool result = true;
    CString folder = WithSeparator(directory);
    for (const auto& entry : entries) {
        CString path = folder + entry.name;
        bool isLink = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink) {
            result = RemoveTree(path, bThrow) && result;
            continue;
        }
        // Files and links of every kind: a link is removed itself, and its
        // target (which may lie outside the tree) stays untouched.
        if (!isLink && (entry.attributes & FILE_ATTRIBUTE_READONLY))
            platform::SetAttributes(path, entry.attributes & ~FILE_ATTRIBUTE_READONLY);
        if (!platform::RemoveFile(path) && bThrow)
            Throw(u"DeleteFile", path, platform::LastFileError(), __LINE__);
    }
    if (!result)
        return false;
    if (platform::RemoveEmptyDirectory(directory))
        return true;
    if (bThrow)
        Throw(u"RemoveDirectory", directory, platform::LastFileError(), __LINE__);
    return false;
}

void CDirectory::DeleteFiles(const CString& pattern)
{
    CString folder, mask;
    SplitAtLastSeparator(pattern, folder, mask);
    // '*' and '?' may be part of a real name here: when a file of exactly
    // that name exists, it is the only one meant.
    DWORD exact = platform::GetAttributes(pattern);
    if (exact != INVALID_FILE_ATTRIBUTES) {
        if (exact & FILE_ATTRIBUTE_DIRECTORY)
            return;
        if (!platform::RemoveFile(pattern))
            Throw(u"DeleteFile", pattern, platform::LastFileError(), __LINE__);
        return;
    }
    std::vector<platform::FileEntry> entries;
    if (!platform::EnumerateDirectory(folder, mask, entries))
        return;
    for (const auto& entry : entries) {
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        CString path = folder + entry.name;
        if (!platform::RemoveFile(path))
            Throw(u"DeleteFile", path, platform::LastFileError(), __LINE__);
    }
}

int CDirectory::ListFiles(const CString& directory, CArrayEx<CString>& names, const CString& pattern,
                          DWORD attributeMask)
{
    std::vector<platform::FileEntry> entries;
    if (platform::EnumerateDirectory(directory, pattern, entries))
        for (const auto& entry : entries)
            if (entry.attributes & attributeMask)
                names.Add(entry.name);
    return names.GetSize();
}

int CDirectory::ListFilesRecursive(const CString& directory, CArrayEx<CString>& paths, const CString& pattern)
{
    std::vector<platform::FileEntry> entries;
    if (!platform::EnumerateDirectory(directory, u"*.*", entries))
        return paths.GetSize();
    for (const auto& entry : entries) {
        // Links to folders are not entered: they may lead out of the tree
        // or round in a circle.
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            ListFilesRecursive(Concat(directory, entry.name), paths, pattern);
    }
    for (const auto& entry : entries)
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && platform::MatchWildcard(pattern, entry.name))
            paths.Add(Concat(directory, entry.name));
    return paths.GetSize();
}

int CDirectory::DeleteOlderFiles(const CString& directory, const CString& pattern, int days)
{
    // A negative age would put the cut-off into the future and take every
    // file; nothing is that old.
    if (days < 0)
        return 0;
    std::vector<platform::FileEntry> entries;
    if (!platform::EnumerateDirectory(directory, pattern, entries))
        return 0;
    const std::int64_t cutoff = static_cast<std::int64_t>(std::time(nullptr)) - static_cast<std::int64_t>(days) * 86400;
    CString folder = WithSeparator(directory);
    int deleted = 0;
    for (const auto& entry : entries) {
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (days != 0 && entry.lastWriteTime >= cutoff)
            continue;
        if (platform::RemoveFile(folder + entry.name))
            ++deleted;
    }
    return deleted;
}

CString CDirectory::ResolveReparsePoints(const CString& path)
{
    CString work = path;
    if (EndsWithSeparator(work) && work.GetLength() > 1)
        work = work.Left(work.GetLength() - 1);

    DWORD attributes = platform::GetAttributes(work);
    bool isFolderLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                        (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!isFolderLink) {
        int slash = platform::ReverseFindSeparator(work);
        if (slash > 0)
            return Concat(ResolveReparsePoints(work.Left(slash)), work.Mid(slash + 1));
        return path;
    }
    CString target = platform::ReadLink(work);
    if (target.IsEmpty())
        return path;
    // A relative target is relative to the folder holding the link.
    if (!platform::IsAbsolutePath(target))
        target = platform::FullPath(Concat(DirectoryPart(platform::FullPath(work)), target));
    return target;
}

bool CDirectory::Compare(const CString& file1, const CString& file2, bool* equal)
{
    if (!equal)
        return false;
    *equal = false;
    if (file1.IsEmpty() || file2.IsEmpty())
        return false;
    platform::SequentialReader a, b;
    if (!a.Open(file1) || !b.Open(file2))
        return false;
    ULONGLONG sizeA = 0, sizeB = 0;
    if (!a.Size(sizeA) || !b.Size(sizeB))
        return false;
    if (sizeA != sizeB)
        return true;

    // Fills a whole block unless the end comes first.
    auto readBlock = [](platform::SequentialReader& reader, std::vector<unsigned char>& buffer) -> std::int64_t {
        std::size_t filled = 0;
        while (filled < buffer.size()) {
            std::int64_t n = reader.Read(buffer.data() + filled, buffer.size() - filled);
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            filled += static_cast<std::size_t>(n);
        }
        return static_cast<std::int64_t>(filled);
    };
    std::vector<unsigned char> blockA(ciCompareBlockSize), blockB(ciCompareBlockSize);
    ULONGLONG remaining = sizeA;
    for (;;) {
        std::int64_t nA = readBlock(a, blockA);
        std::int64_t nB = readBlock(b, blockB);
        if (nA < 0 || nB < 0)
            return false;
        if (nA != nB)
            return true;
        if (nA == 0) {
            *equal = true;
            return true;
        }
        if (!std::equal(blockA.begin(), blockA.begin() + nA, blockB.begin()))
            return true;
        remaining -= std::min<ULONGLONG>(remaining, static_cast<ULONGLONG>(nA));
        if (remaining == 0) {
            *equal = true;
            return true;
        }
    }
}

bool CDirectory::EnoughRoomForFile(const CString& path, ULONGLONG bytes)
{
    int slash = platform::ReverseFindSeparator(path);
    if (slash < 0)
        return false;
    // The folder keeps its separator only when it is a root.
    CString folder = platform::IsRootPath(path.Left(slash + 1)) ? path.Left(slash + 1) : path.Left(slash);
    ULONGLONG available = 0, total = 0, free = 0;
    // Unknown space is not room.
    if (!platform::DiskFreeSpace(folder, available, total, free))
        return false;
    return available >= bytes;
}

bool CDirectory::FindRemovableUsbDrive(const CString& volumeLabel, CString& drive, CString& volumeName,
                                       bool checkBus)
{
    drive.Empty();
    volumeName.Empty();
    for (const auto& volume : platform::MountedVolumes()) {
        if (!platform::IsRemovableVolume(volume))
            continue;
        ULONGLONG available = 0, total = 0, free = 0;
        if (!platform::DiskFreeSpace(volume.mountPoint, available, total, free) || total < ciMinRemovableDriveSize)
            continue;
        CString label = platform::VolumeLabel(volume);
        if (!volumeLabel.IsEmpty() && label.CompareNoCase(volumeLabel) != 0)
            continue;
        if (checkBus && !platform::IsUsbVolume(volume))
            continue;
        drive = WithSeparator(volume.mountPoint);
        volumeName = label;
        return true;
    }
    return false;
}

void CDirectory::Throw(const CString& operation, const CString& path, DWORD errorCode, int line)
{
    (void)line; // kept for the caller's record; the text names the operation
    CString text;
    text.Format(u"%s failed. %s. LastError %u", operation.GetString(), path.GetString(), errorCode);
    if (text.GetLength() > ciMaxDiagnosticLength)
        text = text.Left(ciMaxDiagnosticLength);
    throw new CUserException(text);
}

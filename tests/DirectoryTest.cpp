#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

#include "Directory.h"
#include "platform/Path.h"
#include "TestEnvironment.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const auto P = &testsupport::ToCString;

// "/a/" here, "C:\a\" on Windows: the path helpers must behave alike on both.
const auto N = &testsupport::NativePath;

const CString kSep(platform::PathSeparator());

// Symbolic links: creating one needs a privilege on Windows, and the C++
// library of mingw-w64 cannot make them.
#ifdef _WIN32
#define SKIP_WITHOUT_SYMBOLIC_LINKS() GTEST_SKIP() << "needs symbolic links, which Windows gives only with a privilege"
#else
#define SKIP_WITHOUT_SYMBOLIC_LINKS() (void)0
#endif

using testsupport::ScopedEnv;

// Runs `action`, expecting a CUserException; returns its diagnostic text.
template <class F>
std::string ExpectUserException(F action)
{
    try {
        action();
    } catch (CUserException* e) {
        std::string text = e->GetDiagnostic().ToUtf8();
        e->Delete();
        return text;
    }
    ADD_FAILURE() << "no CUserException raised";
    return {};
}

} // namespace

TEST(DirectoryPaths, ConcatJoinsWithExactlyOneSeparator)
{
    EXPECT_EQ(CDirectory::Concat(N(u"/a/"), kSep + u"b"), N(u"/a/b"));
    EXPECT_EQ(CDirectory::Concat(N(u"/a"), u"b"), N(u"/a/b"));
    EXPECT_EQ(CDirectory::Concat(N(u"/a/"), u"b"), N(u"/a/b"));
    EXPECT_EQ(CDirectory::Concat(u"", u"b"), CString(u"b"));
    EXPECT_EQ(CDirectory::Concat(u"a", u""), CString(u"a"));
    EXPECT_EQ(CDirectory::Concat(N(u"a/"), u""), CString(u"a"));
    // The root stays the root.
    EXPECT_EQ(CDirectory::Concat(N(u"/"), u"x"), N(u"/x"));
    EXPECT_EQ(CDirectory::Concat(N(u"/"), kSep + u"x"), N(u"/x"));
    EXPECT_EQ(CDirectory::Concat(N(u"/"), u""), N(u"/"));
#ifdef _WIN32
    // Windows takes '/' as a separator too, and a share is a root.
    EXPECT_EQ(CDirectory::Concat(u"C:\\a/", u"b"), CString(u"C:\\a\\b"));
    EXPECT_EQ(CDirectory::Concat(u"\\\\server\\share\\", u"x"), CString(u"\\\\server\\share\\x"));
#endif
}

TEST(DirectoryPaths, SplitHelpers)
{
    const CString path = N(u"/home/u/docs/report.final.odt");
    EXPECT_EQ(CDirectory::GetFileExtension(path), CString(u".odt"));
    EXPECT_EQ(CDirectory::SplitFileNameWithoutExtensionFromPath(path), CString(u"report.final"));
    EXPECT_EQ(CDirectory::SplitFileNameAndExtensionFromPath(path), CString(u"report.final.odt"));
    EXPECT_EQ(CDirectory::SplitPathFromFileNameWithPath(path), N(u"/home/u/docs/"));
    EXPECT_TRUE(CDirectory::HasFileExtension(path, u".ODT"));
    EXPECT_FALSE(CDirectory::HasFileExtension(path, u".odtx"));

    // A dot in a folder name is no extension.
    EXPECT_TRUE(CDirectory::GetFileExtension(N(u"/etc/conf.d/README")).IsEmpty());
    EXPECT_EQ(CDirectory::SplitFileNameWithoutExtensionFromPath(N(u"/etc/conf.d/README")), CString(u"README"));
    EXPECT_TRUE(CDirectory::SplitPathFromFileNameWithPath(u"bare.txt").IsEmpty());
    EXPECT_EQ(CDirectory::SplitFileNameAndExtensionFromPath(N(u"/tmp/dir/")), CString(u""));
    EXPECT_EQ(CDirectory::SplitPathFromFileNameWithPath(N(u"/x")), N(u"/"));
#ifdef _WIN32
    // Either separator ends the folder part; a drive's root keeps its separator.
    EXPECT_EQ(CDirectory::SplitPathFromFileNameWithPath(u"C:/docs/a.txt"), CString(u"C:/docs/"));
    EXPECT_EQ(CDirectory::SplitFileNameAndExtensionFromPath(u"C:\\docs/a.txt"), CString(u"a.txt"));
    EXPECT_EQ(CDirectory::GetFileExtension(u"C:\\my.docs\\README"), CString(u""));
#endif
}

TEST(DirectoryPaths, ProgramAndModuleFolders)
{
    CString exe = CDirectory::GetExePath();
    ASSERT_FALSE(exe.IsEmpty());
    EXPECT_EQ(exe, P(testsupport::BinDir()) + kSep);
#ifdef _WIN32
    EXPECT_EQ(CDirectory::GetExeNameWithoutPath(true), CString(u"DirectoryTest.exe"));
#else
    EXPECT_EQ(exe + CDirectory::GetExeNameWithoutPath(true), CString::FromUtf8(fs::read_symlink("/proc/self/exe").string()));
#endif
    // The last four characters are the extension where the program has one;
    // without, nothing is cut off its name.
    EXPECT_EQ(CDirectory::GetExeNameWithoutPath(false), CString(u"DirectoryTest"));

    // The core library is loaded by this test and lies beside it.
    EXPECT_EQ(CDirectory::GetModulePath(u"veilshim64.dll"), exe);
    EXPECT_TRUE(CDirectory::GetModulePath(u"not-loaded-anywhere.dll").IsEmpty());

    TempDir dir;
    WriteFile(dir / "f", "");
#ifdef _WIN32
    // The short form of every level (the long one where the volume keeps
    // no short names): it names the same file.
    WriteFile(dir / "a long name.text", "long");
    CString shortPath = CDirectory::Make8_3Path(P(dir / "a long name.text"));
    ASSERT_FALSE(shortPath.IsEmpty());
    EXPECT_EQ(testsupport::ReadFile(fs::path(shortPath.GetString())), "long");
    EXPECT_EQ(CDirectory::SplitFileNameAndExtensionFromPath(CDirectory::Make8_3Path(P(dir / "f"))), CString(u"f"));
#else
    EXPECT_EQ(CDirectory::Make8_3Path(P(dir / "f")), P(dir / "f"));
#endif
    EXPECT_TRUE(CDirectory::Make8_3Path(P(dir / "none")).IsEmpty());
    EXPECT_EQ(CDirectory::FullPath(N(u"/a/b/../c")), N(u"/a/c"));
    EXPECT_EQ(CDirectory::FullPath(N(u"/a/./b//c/")), N(u"/a/b/c/"));
}

TEST(DirectoryPaths, TempAndSpecialFoldersArePrivateAndFromXdg)
{
    CString temp = CDirectory::GetTempPathW();
    ASSERT_FALSE(temp.IsEmpty());
    EXPECT_EQ(temp[temp.GetLength() - 1], platform::PathSeparator());
    EXPECT_TRUE(CDirectory::Exist(temp));
    EXPECT_TRUE(CDirectory::GetSpecialDirectory(-1).IsEmpty());
#ifdef _WIN32
    // The shell's folders, each with its separator; the caller's TEMP.
    EXPECT_EQ(temp, P(testsupport::IsolatedRoot() / "tmp") + kSep);
    for (int csidl : {CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PROFILE, CSIDL_PERSONAL}) {
        CString folder = CDirectory::GetSpecialDirectory(csidl);
        ASSERT_FALSE(folder.IsEmpty()) << csidl;
        EXPECT_EQ(folder.Right(1), kSep) << csidl;
        EXPECT_TRUE(platform::IsAbsolutePath(folder)) << folder.ToUtf8();
    }
#else
    struct stat st {};
    ASSERT_EQ(stat(temp.ToUtf8().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, getuid());

    TempDir base;
    ScopedEnv data("XDG_DATA_HOME", (base / "share").string());
    ScopedEnv home("HOME", (base / "home").string());
    EXPECT_EQ(CDirectory::GetSpecialDirectory(CSIDL_APPDATA), P(base / "share") + u"/");
    EXPECT_EQ(CDirectory::GetSpecialDirectory(CSIDL_PROFILE), P(base / "home") + u"/");
#endif
}

TEST(DirectoryNames, EncodingRoundTrip)
{
    EXPECT_EQ(CDirectory::CreateFileNameForDisk(N(u"/x/a:b?.txt")), N(u"/x/a~Cb~Q.txt"));
    EXPECT_EQ(CDirectory::CreateFileNameForDisplay(N(u"/x/a~Cb~Q.txt")), N(u"/x/a:b?.txt"));
    EXPECT_EQ(CDirectory::CreateFileNameForDisk(u"a~~b"), CString(u"a~T~Tb"));

    // A quote is left as it is (and a backslash, which is a separator on Windows).
    const CString every = u"*:>;<+?~|,\"";
    CString disk = CDirectory::CreateFileNameForDisk(every);
    EXPECT_EQ(disk, CString(u"~A~C~G~K~L~P~Q~T~V~k\""));
    EXPECT_EQ(CDirectory::CreateFileNameForDisplay(disk), every);
#ifndef _WIN32
    EXPECT_EQ(CDirectory::CreateFileNameForDisk(u"a\\b"), CString(u"a\\b"));
#endif

    // The folder part is not encoded; a name below the root keeps its root.
    EXPECT_EQ(CDirectory::CreateFileNameForDisk(N(u"/my:dir/x:y")), N(u"/my:dir/x~Cy"));
    EXPECT_EQ(CDirectory::CreateFileNameForDisk(N(u"/a+b")), N(u"/a~Pb"));

    // Unknown letters, a tilde at the end and the case of the letter matter.
    EXPECT_EQ(CDirectory::CreateFileNameForDisplay(u"a~Zb~"), CString(u"a~Zb~"));
    EXPECT_EQ(CDirectory::CreateFileNameForDisplay(u"~K~k"), CString(u";,"));
    EXPECT_EQ(CDirectory::CreateFileNameForDisplay(u"~a"), CString(u"~a"));

    EXPECT_TRUE(CDirectory::IsValidFileName(u""));
    EXPECT_TRUE(CDirectory::IsValidFileName(u"Brief an Anna (2).odt"));
    for (const char16_t* bad : {u"a/b", u"a\\b", u"a\"b", u"a<b", u"a>b", u"a*b", u"a?b", u"a|b", u"a:b"})
        EXPECT_FALSE(CDirectory::IsValidFileName(bad)) << CString(bad).ToUtf8();
    EXPECT_FALSE(CDirectory::IsValidFileName(u"a;b", u";"));
}

TEST(DirectoryNames, TempAndIndexedNames)
{
    TempDir dir;
    CString d = P(dir.Path());
    WriteFile(dir / "~TMPSI1.tmp", "");
    WriteFile(dir / "~TMPSI2.tmp", "");
    fs::create_directory(dir / "~TMPSI3.tmp"); // a folder blocks the name too
    EXPECT_EQ(CDirectory::GetTempFileNameW(d, u"tmp"), P(dir / "~TMPSI4.tmp"));
    EXPECT_EQ(CDirectory::GetTempFileNameW(d, u"gpg"), P(dir / "~TMPSI1.gpg"));
    EXPECT_EQ(CDirectory::GetTempFileNameW(d, u""), P(dir / "~TMPSI1"));

    TempDir logs;
    CString l = P(logs.Path());
    EXPECT_EQ(CDirectory::GetNextIndexedFilename(l, u"log", 3, u"txt"), CString(u"log001.txt"));
    WriteFile(logs / "log007.txt", "");
    WriteFile(logs / "log012.TXT", "");
    WriteFile(logs / "log099.dat", "");  // other extension
    WriteFile(logs / "gol500.txt", "");  // same letters, other prefix
    WriteFile(logs / "log0042.txt", ""); // other width
    EXPECT_EQ(CDirectory::GetNextIndexedFilename(l, u"log", 3, u"txt"), CString(u"log013.txt"));
    EXPECT_EQ(CDirectory::GetNextIndexedFilename(l, u"log", 3, u""), CString(u"log001"));
    WriteFile(logs / "log099", "");
    EXPECT_EQ(CDirectory::GetNextIndexedFilename(l, u"log", 3, u""), CString(u"log100"));

    // Past the width the index is still never a taken name.
    WriteFile(logs / "n9.txt", "");
    WriteFile(logs / "n10.txt", "");
    EXPECT_EQ(CDirectory::GetNextIndexedFilename(l, u"n", 1, u"txt"), CString(u"n11.txt"));

    // An index beyond the int range (read as the largest int) leaves no next
    // number: the lowest free one is given instead of a wrapped, negative one.
    WriteFile(logs / "w9999999999.txt", "");
    WriteFile(logs / "w0000000001.txt", "");
    EXPECT_EQ(CDirectory::GetNextIndexedFilename(l, u"w", 10, u"txt"), CString(u"w0000000002.txt"));
}

TEST(DirectoryNames, ParseFileIndex)
{
    EXPECT_EQ(CDirectory::ParseFileIndex(u"log042.txt", u"log", 3, u".txt"), 42);
    EXPECT_EQ(CDirectory::ParseFileIndex(u"LOG042.TXT", u"log", 3, u".txt"), 42);
    EXPECT_EQ(CDirectory::ParseFileIndex(u"log42.txt", u"log", 3, u".txt"), 0);  // wrong length
    EXPECT_EQ(CDirectory::ParseFileIndex(u"logabc.txt", u"log", 3, u".txt"), 0); // no digits
    EXPECT_EQ(CDirectory::ParseFileIndex(u"gol042.txt", u"log", 3, u".txt"), 0); // other prefix
    // Digits in the prefix do not eat digits of the index.
    EXPECT_EQ(CDirectory::ParseFileIndex(u"v2_203", u"v2_", 3, u""), 203);
    EXPECT_EQ(CDirectory::ParseFileIndex(u"000", u"", 3, u""), 0);
    EXPECT_EQ(CDirectory::ParseFileIndex(u"999", u"", 3, u""), 999);
    EXPECT_EQ(CDirectory::ParseFileIndex(u"log1.txt", u"log", 0x7FFFFFFF, u".txt"), 0); // no length overflow
}

TEST(DirectoryNames, ExpandEnvironmentVariables)
{
    ScopedEnv a("VC_A", "alpha");
    ScopedEnv b("VC_B", "%VC_A%-beta");
    ScopedEnv self("VC_SELF", "x%VC_SELF%");

    CString text = u"[%VC_B%] [%VC_A%]";
    CDirectory::ExpandEnvironmentVariables(text);
    EXPECT_EQ(text, CString(u"[alpha-beta] [alpha]"));

    // An unknown variable stops the expansion there.
    text = u"%VC_A% %VC_UNKNOWN% %VC_A%";
    CDirectory::ExpandEnvironmentVariables(text);
    EXPECT_EQ(text, CString(u"alpha %VC_UNKNOWN% %VC_A%"));
    text = u"100%% %VC_A%";
    CDirectory::ExpandEnvironmentVariables(text);
    EXPECT_EQ(text, CString(u"100%% %VC_A%"));
    text = u"50% off";
    CDirectory::ExpandEnvironmentVariables(text);
    EXPECT_EQ(text, CString(u"50% off"));

    // A variable that refers to itself ends after a bounded number of steps.
    text = u"%VC_SELF%";
    CDirectory::ExpandEnvironmentVariables(text);
    EXPECT_EQ(text.Left(5), CString(u"xxxxx"));
    EXPECT_NE(text.Find(u"%VC_SELF%"), -1);
    EXPECT_LT(text.GetLength(), 1000);
}

TEST(DirectoryLookups, ExistFileExistAndSizes)
{
    TempDir dir;
    WriteFile(dir / "file.txt", "12345");
    fs::create_directory(dir / "sub");

    EXPECT_TRUE(CDirectory::Exist(N(u"/")));
#ifndef _WIN32
    EXPECT_TRUE(CDirectory::Exist(u"/proc"));
#endif
    EXPECT_TRUE(CDirectory::Exist(P(dir / "sub")));
    EXPECT_TRUE(CDirectory::Exist(P(dir / "sub") + kSep));
    EXPECT_FALSE(CDirectory::Exist(P(dir / "file.txt")));
    EXPECT_FALSE(CDirectory::Exist(P(dir / "none")));
    EXPECT_FALSE(CDirectory::Exist(u""));

    EXPECT_TRUE(CDirectory::FileExist(P(dir.Path()), u"file.txt"));
    EXPECT_TRUE(CDirectory::FileExist(P(dir.Path()) + kSep, u"file.txt"));
    EXPECT_TRUE(CDirectory::FileExist(P(dir / "file.txt"), u""));
    EXPECT_FALSE(CDirectory::FileExist(P(dir.Path()), u"sub"));
#ifdef _WIN32
    EXPECT_TRUE(CDirectory::FileExist(P(dir.Path()), u"FILE.TXT")); // names ignore case there
#else
    EXPECT_FALSE(CDirectory::FileExist(P(dir.Path()), u"FILE.TXT")); // another name here
#endif
    EXPECT_FALSE(CDirectory::FileExist(u"", u""));

    EXPECT_EQ(CDirectory::GetFileSize(P(dir / "file.txt")), 5u);
    EXPECT_EQ(CDirectory::GetFileSize(P(dir / "none")), 0u);

    DWORD attributes = CDirectory::ModifyFileAttributes(P(dir / "file.txt"), FILE_ATTRIBUTE_READONLY, true);
    EXPECT_EQ(attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    attributes = CDirectory::ModifyFileAttributes(P(dir / "file.txt"), FILE_ATTRIBUTE_READONLY, false);
    EXPECT_EQ(attributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(CDirectory::ModifyFileAttributes(P(dir / "none"), FILE_ATTRIBUTE_READONLY, true),
              INVALID_FILE_ATTRIBUTES);
}

TEST(DirectoryTree, MakeCreatesEveryLevelAndReportsFailures)
{
    TempDir dir;
    CString deep = P(dir / "a/b/c") + kSep;
    EXPECT_TRUE(CDirectory::Make(deep));
    EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
    EXPECT_TRUE(CDirectory::Make(deep)); // existing is fine

    // A file in the way of a level stops the walk at that level.
    WriteFile(dir / "blocker", "");
    std::string text = ExpectUserException([&] { CDirectory::Make(P(dir / "blocker/x")); });
    EXPECT_EQ(text, "CreateDirectory failed. " + (dir / "blocker").string() + ". LastError " +
                        std::to_string(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(fs::exists(dir / "blocker/x"));
}

TEST(DirectoryTree, RemoveDeletesReadOnlyContent)
{
    TempDir dir;
    fs::create_directories(dir / "tree/sub/deeper");
    WriteFile(dir / "tree/a.txt", "a");
    WriteFile(dir / "tree/sub/ro.txt", "r");
    WriteFile(dir / "tree/sub/deeper/.hidden", "h");
    fs::permissions(dir / "tree/sub/ro.txt", fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(dir / "tree/sub/deeper", fs::perms::owner_read | fs::perms::owner_exec,
                    fs::perm_options::replace);

    EXPECT_TRUE(CDirectory::Remove(P(dir / "tree"), true));
    EXPECT_FALSE(fs::exists(dir / "tree"));
    // A tree that is not there gives false, not an error.
    EXPECT_FALSE(CDirectory::Remove(P(dir / "tree"), true));
}

TEST(DirectoryTree, RemoveNeverFollowsLinksOutOfTheTree)
{
    SKIP_WITHOUT_SYMBOLIC_LINKS();
    TempDir dir, outside;
    WriteFile(outside / "keep.txt", "precious");
    fs::create_directory(outside / "inner");
    WriteFile(outside / "inner/keep2.txt", "also");
    fs::create_directories(dir / "tree/sub");
    fs::create_directory_symlink(outside.Path(), dir / "tree/sub/escape");
    fs::create_symlink(outside / "keep.txt", dir / "tree/filelink");
    fs::create_symlink(dir / "missing", dir / "tree/dangling");

    EXPECT_TRUE(CDirectory::Remove(P(dir / "tree") + kSep, false));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "tree")));
    EXPECT_EQ(testsupport::ReadFile(outside / "keep.txt"), "precious");
    EXPECT_EQ(testsupport::ReadFile(outside / "inner/keep2.txt"), "also");

    // A link given as the tree itself is removed as a link.
    fs::create_directory_symlink(outside.Path(), dir / "toplink");
    EXPECT_TRUE(CDirectory::Remove(P(dir / "toplink"), true));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "toplink")));
    EXPECT_EQ(testsupport::ReadFile(outside / "keep.txt"), "precious");
}

TEST(DirectoryTree, RemoveRefusesRootsEvenWithoutThrow)
{
#ifdef _WIN32
    const char16_t* const roots[] = {u"C:\\", u"C:/", u"c:\\\\"};
#else
    const char16_t* const roots[] = {u"/", u"//", u"/proc", u"/proc/"};
#endif
    for (const char16_t* root : roots) {
        std::string text = ExpectUserException([&] { CDirectory::Remove(root, false); });
        EXPECT_EQ(text.rfind("Remove RootDir failed. ", 0), 0u) << text;
    }
    EXPECT_EQ(ExpectUserException([] { CDirectory::Remove(u"", false); }), "Remove Empty failed. . LastError 0");
    EXPECT_TRUE(CDirectory::Exist(N(u"/")));
}

#ifdef _WIN32
TEST(DirectoryTree, RemoveReportsFailuresAsAsked)
{
    // A file another handle holds without sharing deletion cannot go: the
    // rest of the tree does, then false or raised.
    TempDir dir;
    fs::create_directories(dir / "tree/sub");
    WriteFile(dir / "tree/sub/held.txt", "x");
    WriteFile(dir / "tree/free.txt", "x");
    HANDLE held = ::CreateFileW((dir / "tree/sub/held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CDirectory::Remove(P(dir / "tree"), false));
    EXPECT_FALSE(fs::exists(dir / "tree/free.txt"));
    EXPECT_TRUE(fs::exists(dir / "tree/sub/held.txt"));
    std::string text = ExpectUserException([&] { CDirectory::Remove(P(dir / "tree"), true); });
    EXPECT_EQ(text, "DeleteFile failed. " + (dir / "tree/sub/held.txt").string() + ". LastError " +
                        std::to_string(ERROR_SHARING_VIOLATION));
    ::CloseHandle(held);
    EXPECT_TRUE(CDirectory::Remove(P(dir / "tree"), true));
    EXPECT_FALSE(fs::exists(dir / "tree"));
}
#else
TEST(DirectoryTree, RemoveReportsFailuresAsAsked)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    TempDir dir;
    // A folder that cannot be listed: false whatever bThrow says.
    fs::create_directories(dir / "tree/locked");
    WriteFile(dir / "tree/locked/f", "x");
    fs::permissions(dir / "tree/locked", fs::perms::none, fs::perm_options::replace);
    EXPECT_FALSE(CDirectory::Remove(P(dir / "tree"), false));
    EXPECT_FALSE(CDirectory::Remove(P(dir / "tree"), true));
    EXPECT_TRUE(fs::exists(dir / "tree"));
    fs::permissions(dir / "tree/locked", fs::perms::owner_all, fs::perm_options::replace);

    // A tree whose parent forbids removing it: emptied, then false or raised.
    fs::create_directories(dir / "fixed/tree/sub");
    WriteFile(dir / "fixed/tree/sub/f", "x");
    fs::permissions(dir / "fixed", fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    EXPECT_FALSE(CDirectory::Remove(P(dir / "fixed/tree"), false));
    EXPECT_FALSE(fs::exists(dir / "fixed/tree/sub"));
    std::string text = ExpectUserException([&] { CDirectory::Remove(P(dir / "fixed/tree"), true); });
    EXPECT_EQ(text, "RemoveDirectory failed. " + (dir / "fixed/tree").string() + ". LastError " +
                        std::to_string(ERROR_ACCESS_DENIED));
    fs::permissions(dir / "fixed", fs::perms::owner_all, fs::perm_options::replace);
    EXPECT_TRUE(CDirectory::Remove(P(dir / "fixed"), true));
    EXPECT_TRUE(CDirectory::Remove(P(dir / "tree"), true));
}
#endif

TEST(DirectoryTree, DeleteFilesByPattern)
{
    TempDir dir;
    WriteFile(dir / "a.tmp", "");
    WriteFile(dir / "B.TMP", "");
    WriteFile(dir / "keep.txt", "");
    fs::create_directory(dir / "d.tmp");

    CDirectory::DeleteFiles(P(dir / "*.tmp"));
    EXPECT_FALSE(fs::exists(dir / "a.tmp"));
    EXPECT_FALSE(fs::exists(dir / "B.TMP"));
    EXPECT_TRUE(fs::exists(dir / "keep.txt"));
    EXPECT_TRUE(fs::is_directory(dir / "d.tmp"));
    EXPECT_FALSE(CDirectory::Exist(P(dir.Path()) + kSep + u"d.*"));

    // A read-only file stops the deletion with an error.
    WriteFile(dir / "ro.log", "");
    fs::permissions(dir / "ro.log", fs::perms::owner_read, fs::perm_options::replace);
    std::string text = ExpectUserException([&] { CDirectory::DeleteFiles(P(dir / "*.log")); });
    EXPECT_EQ(text, "DeleteFile failed. " + (dir / "ro.log").string() + ". LastError " + std::to_string(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::exists(dir / "ro.log"));
    fs::permissions(dir / "ro.log", fs::perms::owner_all, fs::perm_options::replace);

    CDirectory::DeleteFiles(P(dir / "missing-folder/*.*")); // nothing to do, no error
}

TEST(DirectoryTree, DeleteFilesTakesLinksAndLiteralNames)
{
    SKIP_WITHOUT_SYMBOLIC_LINKS();
    TempDir dir, outside;
    WriteFile(outside / "x.tmp", "target");
    fs::create_symlink(outside / "x.tmp", dir / "link.tmp");
    fs::create_directory_symlink(outside.Path(), dir / "dirlink.tmp");
    CDirectory::DeleteFiles(P(dir / "*.tmp"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link.tmp")));
    EXPECT_TRUE(fs::is_symlink(dir / "dirlink.tmp"));
    EXPECT_EQ(testsupport::ReadFile(outside / "x.tmp"), "target");

    // A plain name deletes exactly that file, not its case variants.
    WriteFile(dir / "Report.txt", "");
    WriteFile(dir / "report.txt", "");
    CDirectory::DeleteFiles(P(dir / "Report.txt"));
    EXPECT_FALSE(fs::exists(dir / "Report.txt"));
    EXPECT_TRUE(fs::exists(dir / "report.txt"));

    // '?' is legal in names here: an existing file of exactly that name is
    // the only one deleted.
    WriteFile(dir / "what?.odt", "");
    WriteFile(dir / "whatX.odt", "");
    CDirectory::DeleteFiles(P(dir / "what?.odt"));
    EXPECT_FALSE(fs::exists(dir / "what?.odt"));
    EXPECT_TRUE(fs::exists(dir / "whatX.odt"));
    // Lookups take the name literally: the similar file does not count.
    EXPECT_FALSE(CDirectory::FileExist(P(dir.Path()), u"what?.odt"));
    EXPECT_TRUE(CDirectory::FileExist(P(dir.Path()), u"whatX.odt"));
}

TEST(DirectoryTree, ListFilesAndRecursiveListing)
{
    TempDir dir, outside;
    fs::create_directories(dir / "one/two");
    WriteFile(dir / "top.txt", "");
    WriteFile(dir / "one/mid.txt", "");
    WriteFile(dir / "one/skip.dat", "");
    WriteFile(dir / "one/two/deep.txt", "");
    WriteFile(outside / "foreign.txt", "");
#ifndef _WIN32
    fs::create_directory_symlink(outside.Path(), dir / "one/escape");
#endif

    CArrayEx<CString> names;
    names.Add(u"preset");
    EXPECT_EQ(CDirectory::ListFiles(P(dir.Path()), names, u"*.*", FILE_ATTRIBUTE_DIRECTORY), 2);
    EXPECT_EQ(names[1], CString(u"one"));
    EXPECT_EQ(CDirectory::ListFiles(P(dir / "one") + kSep, names, u"*.txt", ~FILE_ATTRIBUTE_DIRECTORY), 3);
    EXPECT_EQ(names[2], CString(u"mid.txt"));
    EXPECT_EQ(CDirectory::ListFiles(P(dir / "missing"), names, u"*.*", 0xFFFFFFFFu), 3);

    CArrayEx<CString> paths;
    EXPECT_EQ(CDirectory::ListFilesRecursive(P(dir.Path()), paths, u"*.txt"), 3);
    // Deeper levels come first; the link out of the tree is not entered.
    EXPECT_EQ(paths[0], P(dir / "one/two/deep.txt"));
    EXPECT_EQ(paths[1], P(dir / "one/mid.txt"));
    EXPECT_EQ(paths[2], P(dir / "top.txt"));
}

TEST(DirectoryTree, DeleteOlderFiles)
{
    TempDir dir;
    const std::int64_t now = std::time(nullptr);
    for (const char* name : {"old1.log", "old2.log", "new.log", "old.txt"})
        WriteFile(dir / name, "");
    platform::SetLastWriteTime(P(dir / "old1.log"), now - 10 * 86400);
    platform::SetLastWriteTime(P(dir / "old2.log"), now - 40 * 86400);
    platform::SetLastWriteTime(P(dir / "old.txt"), now - 40 * 86400);
    fs::create_directory(dir / "olddir.log");
    platform::SetLastWriteTime(P(dir / "olddir.log"), now - 40 * 86400);

    EXPECT_EQ(CDirectory::DeleteOlderFiles(P(dir.Path()), u"*.log", -5), 0);
    EXPECT_EQ(CDirectory::DeleteOlderFiles(P(dir.Path()), u"*.log", 30), 1);
    EXPECT_FALSE(fs::exists(dir / "old2.log"));
    EXPECT_TRUE(fs::exists(dir / "old1.log"));
    EXPECT_EQ(CDirectory::DeleteOlderFiles(P(dir.Path()), u"*.log", 7), 1);
    EXPECT_TRUE(fs::exists(dir / "new.log"));
    EXPECT_EQ(CDirectory::DeleteOlderFiles(P(dir.Path()) + kSep, u"*.log", 0), 1); // every match
    EXPECT_FALSE(fs::exists(dir / "new.log"));
    EXPECT_TRUE(fs::exists(dir / "old.txt"));
    EXPECT_TRUE(fs::is_directory(dir / "olddir.log"));
}

TEST(DirectoryTree, ResolveReparsePoints)
{
    SKIP_WITHOUT_SYMBOLIC_LINKS();
    TempDir dir;
    fs::create_directories(dir / "real/inner");
    fs::create_directory_symlink(dir / "real", dir / "abs");
    fs::create_directory_symlink("real/inner", dir / "rel");
    WriteFile(dir / "real/inner/f.txt", "");

    EXPECT_EQ(CDirectory::ResolveReparsePoints(P(dir / "abs/inner/f.txt")), P(dir / "real/inner/f.txt"));
    EXPECT_EQ(CDirectory::ResolveReparsePoints(P(dir / "abs") + kSep), P(dir / "real"));
    EXPECT_EQ(CDirectory::ResolveReparsePoints(P(dir / "rel/f.txt")), P(dir / "real/inner/f.txt"));
    EXPECT_EQ(CDirectory::ResolveReparsePoints(P(dir / "real/inner/f.txt")), P(dir / "real/inner/f.txt"));
    EXPECT_EQ(CDirectory::ResolveReparsePoints(u"relative"), CString(u"relative"));
}

TEST(DirectoryFiles, CompareContents)
{
    TempDir dir;
    bool equal = true;
    WriteFile(dir / "e1", "");
    WriteFile(dir / "e2", "");
    EXPECT_TRUE(CDirectory::Compare(P(dir / "e1"), P(dir / "e2"), &equal));
    EXPECT_TRUE(equal);

    std::string big(200000, 'x');
    WriteFile(dir / "b1", big);
    WriteFile(dir / "b2", big);
    EXPECT_TRUE(CDirectory::Compare(P(dir / "b1"), P(dir / "b2"), &equal));
    EXPECT_TRUE(equal);
    big[150000] = 'y'; // differs in a later block
    WriteFile(dir / "b2", big);
    EXPECT_TRUE(CDirectory::Compare(P(dir / "b1"), P(dir / "b2"), &equal));
    EXPECT_FALSE(equal);
    WriteFile(dir / "b3", big + "z");
    equal = true;
    EXPECT_TRUE(CDirectory::Compare(P(dir / "b1"), P(dir / "b3"), &equal));
    EXPECT_FALSE(equal);

    EXPECT_FALSE(CDirectory::Compare(P(dir / "b1"), P(dir / "missing"), &equal));
    EXPECT_FALSE(CDirectory::Compare(P(dir / "b1"), P(dir.Path()), &equal));
    EXPECT_FALSE(CDirectory::Compare(u"", P(dir / "b1"), &equal));
    EXPECT_FALSE(CDirectory::Compare(P(dir / "b1"), P(dir / "b1"), nullptr));
}

TEST(DirectoryFiles, SizesBeyondFourGiB)
{
    TempDir dir;
    // Sparse files: sizes differing by exactly 4 GiB look equal in 32 bits.
    const ULONGLONG fourGiB = 4ull << 30;
    {
        std::ofstream(dir / "small") << "abc";
        std::ofstream(dir / "huge") << "abc";
    }
    std::error_code ec;
    fs::resize_file(dir / "huge", fourGiB + 3, ec);
    if (ec)
        GTEST_SKIP() << "no sparse files here: " << ec.message();
    EXPECT_EQ(CDirectory::GetFileSize(P(dir / "huge")), fourGiB + 3);
    bool equal = true;
    EXPECT_TRUE(CDirectory::Compare(P(dir / "small"), P(dir / "huge"), &equal));
    EXPECT_FALSE(equal);
}

TEST(DirectoryFiles, EnoughRoomForFile)
{
    TempDir dir;
    ULONGLONG available = 0, total = 0, free = 0;
    ASSERT_TRUE(platform::DiskFreeSpace(P(dir.Path()), available, total, free));
    CString target = P(dir / "new.bin");
    EXPECT_TRUE(CDirectory::EnoughRoomForFile(target, 1));
    // Others write to this disk meanwhile: stay clear of the exact boundary.
    EXPECT_TRUE(CDirectory::EnoughRoomForFile(target, available / 2));
    EXPECT_FALSE(CDirectory::EnoughRoomForFile(target, available * 2 + (1ull << 30)));
    // A request above 4 GiB is compared in full, not cut to 32 bits.
    EXPECT_FALSE(CDirectory::EnoughRoomForFile(target, (1ull << 62) + 1));
    EXPECT_FALSE(CDirectory::EnoughRoomForFile(u"no-folder.bin", 1));
    EXPECT_FALSE(CDirectory::EnoughRoomForFile(P(dir / "missing/new.bin"), 1));
    EXPECT_TRUE(CDirectory::EnoughRoomForFile(N(u"/file-in-root"), 0));
}

TEST(DirectoryFiles, FindRemovableUsbDriveWithoutUsb)
{
    CString drive = u"stale", name = u"stale";
    bool found = CDirectory::FindRemovableUsbDrive(u"", drive, name, true);
    if (found) {
        // Only on a machine that has one plugged in.
        EXPECT_EQ(drive[drive.GetLength() - 1], platform::PathSeparator());
        return;
    }
    EXPECT_TRUE(drive.IsEmpty());
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_FALSE(CDirectory::FindRemovableUsbDrive(u"NO-SUCH-LABEL-4711", drive, name, false));
}

TEST(DirectoryErrors, ThrowCarriesTheDiagnostic)
{
    EXPECT_EQ(ExpectUserException([] { CDirectory::Throw(u"DeleteFile", u"/x/ü.txt", 13, __LINE__); }),
              "DeleteFile failed. /x/ü.txt. LastError 13");
    CString longPath(u'p', 1000);
    std::string text = ExpectUserException([&] { CDirectory::Throw(u"Op", longPath, 2, __LINE__); });
    EXPECT_EQ(text.size(), 511u);
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "TestEnvironment.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const auto P = &testsupport::ToCString;

// Sets an environment variable for one test and restores it afterwards.
using testsupport::ScopedEnv;

const CString kSep(platform::PathSeparator());

const auto N = &testsupport::NativePath;

const platform::FileEntry* FindEntry(const std::vector<platform::FileEntry>& entries, const char16_t* name)
{
    for (const auto& entry : entries)
        if (entry.name == name)
            return &entry;
    return nullptr;
}

} // namespace

TEST(FileSystemWildcard, FollowsWindowsRules)
{
    using platform::MatchWildcard;
    // "*.*" takes names with and without a dot.
    EXPECT_TRUE(MatchWildcard(u"*.*", u"README"));
    EXPECT_TRUE(MatchWildcard(u"*.*", u"a.b.c"));
    EXPECT_TRUE(MatchWildcard(u"log*.*", u"log7"));
    EXPECT_FALSE(MatchWildcard(u"log*.*", u"blog7"));
    // Case is ignored where wildcards are used.
    EXPECT_TRUE(MatchWildcard(u"*.TXT", u"notes.txt"));
    EXPECT_TRUE(MatchWildcard(u"*.gpg", u"A.GPG"));
    EXPECT_FALSE(MatchWildcard(u"*.gpg", u"a.gpg.txt"));
    // '?' is exactly one character.
    EXPECT_TRUE(MatchWildcard(u"a?c", u"abc"));
    EXPECT_FALSE(MatchWildcard(u"a?c", u"ac"));
    EXPECT_FALSE(MatchWildcard(u"a?c", u"abbc"));
    // Several stars need backtracking.
    EXPECT_TRUE(MatchWildcard(u"*a*b*c", u"xxaybzzbqc"));
    EXPECT_FALSE(MatchWildcard(u"*a*b*c", u"xxaybzzbq"));
    // A trailing dot selects names without an extension.
    EXPECT_TRUE(MatchWildcard(u"*.", u"Makefile"));
    EXPECT_FALSE(MatchWildcard(u"*.", u"main.cpp"));
    EXPECT_TRUE(MatchWildcard(u"Report.txt", u"Report.txt"));
#ifdef _WIN32
    // Names ignore case on Windows, literal ones too.
    EXPECT_TRUE(MatchWildcard(u"Report.txt", u"report.txt"));
#else
    // A literal name is one exact file: case differences are other files here.
    EXPECT_FALSE(MatchWildcard(u"Report.txt", u"report.txt"));
#endif
    EXPECT_FALSE(MatchWildcard(u"", u"anything"));
    // Non-ASCII names fold case too.
    EXPECT_TRUE(MatchWildcard(u"ÄRGER*", u"ärger.txt"));
}

TEST(FileSystemListing, ReportsAttributesSizesAndTimes)
{
    TempDir dir;
    WriteFile(dir / "b.txt", "12345");
    WriteFile(dir / "A.log", "");
    WriteFile(dir / ".hidden", "x");
    WriteFile(dir / "locked", "y");
    fs::permissions(dir / "locked", fs::perms::owner_read, fs::perm_options::replace);
    fs::create_directory(dir / "sub");
    ASSERT_TRUE(platform::SetLastWriteTime(P(dir / "b.txt"), 1000000000));
    // A time past 2038 and one before 1970 come back as set.
    WriteFile(dir / "future", "");
    ASSERT_TRUE(platform::SetLastWriteTime(P(dir / "future"), 4102444800)); // 2100-01-01
    WriteFile(dir / "past", "");
    ASSERT_TRUE(platform::SetLastWriteTime(P(dir / "past"), -86400)); // 1969-12-31
#ifdef _WIN32
    // Hidden is an attribute of its own there, not a leading dot.
    ASSERT_TRUE(::SetFileAttributesW((dir / ".hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const size_t links = 0;
#else
    fs::create_directory_symlink(dir / "sub", dir / "linkdir");
    fs::create_symlink(dir / "b.txt", dir / "linkfile");
    fs::create_symlink(dir / "missing", dir / "dangling");
    const size_t links = 3;
#endif

    std::vector<platform::FileEntry> entries;
    ASSERT_TRUE(platform::EnumerateDirectory(P(dir.Path()), u"*.*", entries));
    ASSERT_EQ(entries.size(), 7u + links); // never "." or ".."

    // Stable order: names ignoring case.
    EXPECT_EQ(entries[0].name, CString(u".hidden"));
    EXPECT_EQ(entries[1].name, CString(u"A.log"));
    EXPECT_EQ(entries[2].name, CString(u"b.txt"));

    const auto* file = FindEntry(entries, u"b.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->attributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(file->size, 5u);
    EXPECT_EQ(file->lastWriteTime, 1000000000);
    EXPECT_EQ(FindEntry(entries, u"future")->lastWriteTime, 4102444800);
    EXPECT_EQ(FindEntry(entries, u"past")->lastWriteTime, -86400);

    EXPECT_EQ(FindEntry(entries, u".hidden")->attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(FindEntry(entries, u"locked")->attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(FindEntry(entries, u"sub")->attributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(FindEntry(entries, u"sub")->size, 0u);
#ifndef _WIN32
    EXPECT_EQ(FindEntry(entries, u"linkdir")->attributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(FindEntry(entries, u"linkfile")->attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(FindEntry(entries, u"dangling")->attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
#endif

    entries.clear();
    ASSERT_TRUE(platform::EnumerateDirectory(P(dir.Path()), u"*.TXT", entries));
    ASSERT_EQ(entries.size(), 1u);
    // A pattern nothing matches is an empty listing, not a failure.
    entries.clear();
    EXPECT_TRUE(platform::EnumerateDirectory(P(dir.Path()), u"*.none", entries));
    EXPECT_TRUE(entries.empty());

#ifndef _WIN32
    // Asked not to, a listing does not go through a link to a folder.
    entries.clear();
    EXPECT_TRUE(platform::EnumerateDirectory(P(dir / "linkdir"), u"*", entries));
    EXPECT_FALSE(platform::EnumerateDirectory(P(dir / "linkdir"), u"*", entries, false));
#endif
    EXPECT_TRUE(platform::EnumerateDirectory(P(dir / "sub") + kSep, u"*", entries, false));

    // A folder that is not there fails as Windows says: the path is not found.
    entries.clear();
    EXPECT_FALSE(platform::EnumerateDirectory(P(dir / "nope"), u"*", entries));
    EXPECT_EQ(platform::LastFileError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    fs::permissions(dir / "locked", fs::perms::owner_all, fs::perm_options::replace);
}

TEST(FileSystemLookup, FindFirstAndAttributes)
{
    TempDir dir;
    WriteFile(dir / "data.bin", "abc");
    fs::create_directory(dir / "folder");

    platform::FileEntry entry;
    ASSERT_TRUE(platform::FindFirst(P(dir / "folder") + kSep, entry)); // trailing separator ignored
    EXPECT_EQ(entry.name, CString(u"folder"));
    EXPECT_TRUE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);

    ASSERT_TRUE(platform::FindFirst(P(dir / "*.BIN"), entry));
    EXPECT_EQ(entry.name, CString(u"data.bin"));
    EXPECT_EQ(entry.size, 3u);
    EXPECT_FALSE(platform::FindFirst(P(dir / "*.none"), entry));
    EXPECT_FALSE(platform::FindFirst(u"", entry));
    // An entry named exactly like the pattern comes first.
    WriteFile(dir / "ab", "");
    WriteFile(dir / "a", "");
    ASSERT_TRUE(platform::FindFirst(P(dir / "a"), entry));
    EXPECT_EQ(entry.name, CString(u"a"));
#ifndef _WIN32
    // A name that holds wildcard characters itself is found as that name
    // (such names cannot exist on Windows).
    WriteFile(dir / "a*", "");
    WriteFile(dir / "a0", "");
    ASSERT_TRUE(platform::FindFirst(P(dir / "a*"), entry));
    EXPECT_EQ(entry.name, CString(u"a*"));
#endif

    ASSERT_TRUE(platform::FindFirst(N(u"/"), entry));
    EXPECT_TRUE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);

#ifndef _WIN32
    // The link itself, even when written with a trailing '/'.
    fs::create_directory_symlink(dir / "folder", dir / "link");
    EXPECT_EQ(platform::GetAttributes(P(dir / "link") + u"/"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
#endif
    EXPECT_EQ(platform::GetAttributes(P(dir / "none")), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::GetAttributes(P(dir / "folder") + kSep), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    // Read-only can be set and given back.
    ASSERT_TRUE(platform::SetAttributes(P(dir / "data.bin"), FILE_ATTRIBUTE_READONLY));
#ifndef _WIN32
    EXPECT_EQ(fs::status(dir / "data.bin").permissions() & fs::perms::owner_write, fs::perms::none);
#endif
    EXPECT_TRUE(platform::GetAttributes(P(dir / "data.bin")) & FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(platform::SetAttributes(P(dir / "data.bin"), FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(platform::GetAttributes(P(dir / "data.bin")) & FILE_ATTRIBUTE_READONLY);

    ULONGLONG size = 0;
    ASSERT_TRUE(platform::QueryFileSize(P(dir / "data.bin"), size));
    EXPECT_EQ(size, 3u);
    EXPECT_FALSE(platform::QueryFileSize(P(dir / "none"), size));
}

TEST(FileSystemChanges, DeletingNeverReachesThroughLinks)
{
    TempDir dir, outside;
    WriteFile(dir / "ro.txt", "r");
    fs::permissions(dir / "ro.txt", fs::perms::owner_read, fs::perm_options::replace);
    fs::create_directory(dir / "sub");
#ifndef _WIN32
    WriteFile(outside / "keep.txt", "precious");
    fs::create_directory_symlink(outside.Path(), dir / "dirlink");
    fs::create_symlink(outside / "keep.txt", dir / "filelink");
    EXPECT_TRUE(platform::RemoveFile(P(dir / "filelink")));
    EXPECT_TRUE(platform::RemoveEmptyDirectory(P(dir / "dirlink")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "filelink")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dirlink")));
    EXPECT_EQ(testsupport::ReadFile(outside / "keep.txt"), "precious");
#endif

    // As on Windows: read-only files and folders are refused by RemoveFile.
    EXPECT_FALSE(platform::RemoveFile(P(dir / "ro.txt")));
    EXPECT_EQ(platform::LastFileError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(platform::RemoveFile(P(dir / "sub")));
    EXPECT_TRUE(fs::exists(dir / "ro.txt"));
    EXPECT_FALSE(platform::RemoveFile(P(dir / "gone.txt")));
    EXPECT_EQ(platform::LastFileError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_FALSE(platform::MakeDirectory(P(dir / "sub"))); // exists already
    EXPECT_EQ(platform::LastFileError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(platform::MakeDirectory(P(dir / "no/level")));
    EXPECT_EQ(platform::LastFileError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(platform::MakeDirectory(P(dir / "private"), true));
#ifndef _WIN32
    EXPECT_EQ(fs::status(dir / "private").permissions(), fs::perms::owner_all);
#endif
    WriteFile(dir / "private/f", "");
    EXPECT_FALSE(platform::RemoveEmptyDirectory(P(dir / "private")));
    EXPECT_EQ(platform::LastFileError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    fs::remove(dir / "private/f");
    EXPECT_TRUE(platform::RemoveEmptyDirectory(P(dir / "private")));
    fs::permissions(dir / "ro.txt", fs::perms::owner_all, fs::perm_options::replace);
}

TEST(FileSystemPaths, FullPathAndLinkTargets)
{
    using platform::FullPath;
    EXPECT_EQ(FullPath(N(u"/a/./b//c/../d")), N(u"/a/b/d"));
    EXPECT_EQ(FullPath(N(u"/a/b/")), N(u"/a/b/"));
    EXPECT_EQ(FullPath(N(u"/../..")), N(u"/"));
    CString cwd = P(fs::current_path());
    EXPECT_EQ(FullPath(N(u"x/y")), cwd + kSep + N(u"x/y"));
    EXPECT_EQ(FullPath(u""), cwd);
#ifdef _WIN32
    // Forward slashes are separators there too.
    EXPECT_EQ(FullPath(u"C:/a/b/../c"), CString(u"C:\\a\\c"));
#else
    TempDir dir;
    fs::create_symlink("../relative/target", dir / "rel");
    EXPECT_EQ(platform::ReadLink(P(dir / "rel")), CString(u"../relative/target"));
    WriteFile(dir / "plain", "");
    EXPECT_TRUE(platform::ReadLink(P(dir / "plain")).IsEmpty());
#endif
}

#ifndef _WIN32
// The private folder, the XDG folders and the mount table are the stand-ins'
// own: Windows' are checked below with its own facts.
TEST(FileSystemTemp, PrivateFolderIsOwnedAndClosedToOthers)
{
    TempDir base;
    fs::path runtime = base / "run";
    fs::path tmp = base / "tmp";
    fs::create_directory(runtime);
    fs::create_directory(tmp);
    ScopedEnv tmpdir("TMPDIR", tmp.string());

    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.string());
        EXPECT_EQ(platform::PrivateTempDirectory(), P(runtime) + u"/");
    }

    // A runtime folder open to others is passed over for a private one.
    fs::permissions(runtime, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace);
    std::string own = "veilcase-" + std::to_string(getuid());
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.string());
        EXPECT_EQ(platform::PrivateTempDirectory(), P(tmp / own) + u"/");
        EXPECT_EQ(fs::status(tmp / own).permissions(), fs::perms::owner_all);
    }

    // A squatted or opened-up folder is never used; the next name is.
    fs::permissions(tmp / own, fs::perms::all, fs::perm_options::replace);
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", "relative/ignored");
        EXPECT_EQ(platform::PrivateTempDirectory(), P(tmp / (own + "-1")) + u"/");
        EXPECT_EQ(fs::status(tmp / (own + "-1")).permissions(), fs::perms::owner_all);
    }
    // A link planted under the expected name is not followed either.
    fs::remove(tmp / own);
    fs::remove(tmp / (own + "-1"));
    fs::create_directory(base / "elsewhere");
    fs::permissions(base / "elsewhere", fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directory_symlink(base / "elsewhere", tmp / own);
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", "");
        EXPECT_EQ(platform::PrivateTempDirectory(), P(tmp / (own + "-1")) + u"/");
    }
}

TEST(FileSystemSpecialFolders, ComeFromXdgVariables)
{
    TempDir base;
    ScopedEnv home("HOME", (base / "home").string());
    ScopedEnv data("XDG_DATA_HOME", (base / "data").string());
    ScopedEnv config("XDG_CONFIG_HOME", (base / "config").string());

    EXPECT_EQ(platform::SpecialFolder(CSIDL_PROFILE), P(base / "home"));
    EXPECT_EQ(platform::SpecialFolder(CSIDL_APPDATA), P(base / "data"));
    EXPECT_EQ(platform::SpecialFolder(CSIDL_LOCAL_APPDATA), P(base / "data"));
    EXPECT_EQ(platform::SpecialFolder(CSIDL_PERSONAL), P(base / "home"));
    EXPECT_EQ(platform::SpecialFolder(CSIDL_DESKTOPDIRECTORY), P(base / "home/Desktop"));
    EXPECT_TRUE(platform::SpecialFolder(12345).IsEmpty());

    fs::create_directories(base / "config");
    WriteFile(base / "config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
              "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
    EXPECT_EQ(platform::SpecialFolder(CSIDL_DESKTOPDIRECTORY), P(base / "home/Schreibtisch"));
    EXPECT_EQ(platform::SpecialFolder(CSIDL_PERSONAL), CString(u"/srv/docs"));

    // A relative XDG value is invalid and falls back to the default.
    ScopedEnv badData("XDG_DATA_HOME", "not/absolute");
    EXPECT_EQ(platform::SpecialFolder(CSIDL_APPDATA), P(base / "home/.local/share"));
}

TEST(FileSystemVolumes, MountPointsAndLabels)
{
    auto drives = platform::LogicalDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front(), CString(u"/"));
    EXPECT_NE(std::find(drives.begin(), drives.end(), CString(u"/proc")), drives.end());

    EXPECT_TRUE(platform::IsMountPoint(u"/"));
    EXPECT_TRUE(platform::IsMountPoint(u"//"));
    EXPECT_TRUE(platform::IsMountPoint(u"/proc/"));
    TempDir dir;
    EXPECT_FALSE(platform::IsMountPoint(P(dir.Path())));
    EXPECT_FALSE(platform::IsMountPoint(u""));
    // A root reached through a link and "." or ".." is still the root, though
    // the spelled-out path names no mount point.
    fs::create_directory_symlink("/", dir / "toRoot");
    fs::create_directory(dir / "sub");
    fs::create_directory_symlink("/proc", dir / "sub" / "toProc");
    EXPECT_TRUE(platform::IsMountPoint(P(dir / "toRoot") + u"/."));
    EXPECT_TRUE(platform::IsMountPoint(P(dir / "toRoot") + u"/./"));
    EXPECT_TRUE(platform::IsMountPoint(P(dir / "sub" / "toProc" / "self") + u"/.."));
    // The link itself is no mount point: removing it leaves its target alone.
    EXPECT_FALSE(platform::IsMountPoint(P(dir / "toRoot")));
    EXPECT_FALSE(platform::IsMountPoint(P(dir / "toRoot") + u"/"));
    EXPECT_FALSE(platform::IsMountPoint(P(dir / "sub") + u"/."));

    // Pseudo file systems have no block device: neither removable nor labelled.
    for (const auto& volume : platform::MountedVolumes()) {
        if (volume.mountPoint == CString(u"/proc")) {
            EXPECT_FALSE(platform::IsRemovableVolume(volume));
            EXPECT_FALSE(platform::IsUsbVolume(volume));
            EXPECT_TRUE(platform::VolumeLabel(volume).IsEmpty());
        }
    }
}
#else
TEST(FileSystemTemp, TheTemporaryFolderIsTheCallersTemp)
{
    CString temp = platform::PrivateTempDirectory();
    EXPECT_EQ(temp, P(testsupport::IsolatedRoot() / "tmp") + kSep);
}

TEST(FileSystemSpecialFolders, ComeFromTheShell)
{
    // In a fresh profile the shell's folders and the variables agree.
    CString appData, profile, localAppData;
    ASSERT_TRUE(platform::EnvironmentVariable(u"APPDATA", appData));
    ASSERT_TRUE(platform::EnvironmentVariable(u"USERPROFILE", profile));
    ASSERT_TRUE(platform::EnvironmentVariable(u"LOCALAPPDATA", localAppData));
    EXPECT_EQ(platform::SpecialFolder(CSIDL_APPDATA).CompareNoCase(appData), 0);
    EXPECT_EQ(platform::SpecialFolder(CSIDL_PROFILE).CompareNoCase(profile), 0);
    EXPECT_EQ(platform::SpecialFolder(CSIDL_LOCAL_APPDATA).CompareNoCase(localAppData), 0);
    // Never with a trailing separator; unknown numbers give nothing.
    CString personal = platform::SpecialFolder(CSIDL_PERSONAL);
    ASSERT_FALSE(personal.IsEmpty());
    EXPECT_NE(personal.Right(1), kSep);
    EXPECT_TRUE(platform::SpecialFolder(12345).IsEmpty());
}

TEST(FileSystemVolumes, DrivesAreMountPoints)
{
    auto drives = platform::LogicalDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_NE(std::find_if(drives.begin(), drives.end(), [](const CString& d) { return d.CompareNoCase(u"C:\\") == 0; }),
              drives.end());
    EXPECT_TRUE(platform::IsMountPoint(u"C:\\"));
    EXPECT_TRUE(platform::IsMountPoint(u"c:/"));
    EXPECT_TRUE(platform::IsMountPoint(u"C:\\windows\\.."));
    TempDir dir;
    EXPECT_FALSE(platform::IsMountPoint(P(dir.Path())));
    EXPECT_FALSE(platform::IsMountPoint(u""));
}
#endif

TEST(FileSystemVolumes, FreeSpace)
{
    TempDir dir;
    ULONGLONG available = 0, total = 0, free = 0;
    ASSERT_TRUE(platform::DiskFreeSpace(P(dir.Path()), available, total, free));
    EXPECT_GT(total, 0u);
    EXPECT_LE(available, free);
    EXPECT_LE(free, total);
    EXPECT_FALSE(platform::DiskFreeSpace(P(dir / "missing"), available, total, free));
}

TEST(FileSystemMisc, EnvironmentAndSequentialReading)
{
    ScopedEnv var("VEILCASE_FS_TEST", "wert-ü");
    CString value;
    ASSERT_TRUE(platform::EnvironmentVariable(u"VEILCASE_FS_TEST", value));
    EXPECT_EQ(value, CString(u"wert-ü"));
    EXPECT_FALSE(platform::EnvironmentVariable(u"VEILCASE_FS_TEST_UNSET", value));
    EXPECT_FALSE(platform::EnvironmentVariable(u"", value));

    TempDir dir;
    WriteFile(dir / "f", "hello world");
    platform::SequentialReader reader;
    ASSERT_TRUE(reader.Open(P(dir / "f")));
    ULONGLONG size = 0;
    ASSERT_TRUE(reader.Size(size));
    EXPECT_EQ(size, 11u);
    char buffer[32] = {};
    std::int64_t total = 0, n;
    while ((n = reader.Read(buffer + total, sizeof buffer - 1 - static_cast<size_t>(total))) > 0)
        total += n;
    EXPECT_EQ(n, 0);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(total)), "hello world");

    platform::SequentialReader folder;
    EXPECT_FALSE(folder.Open(P(dir.Path())));
    EXPECT_FALSE(folder.Open(P(dir / "missing")));
    EXPECT_EQ(folder.Read(buffer, 1), -1);
}

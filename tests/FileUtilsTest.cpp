// File hashing, file holders and application names.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <string>
#include <thread>

#include "platform/CommandLine.h"
#include "platform/Exception.h"
#include "FileUtils.h"
#include "platform/Md5.h"
#include "platform/Process.h"
#include "TestEnvironment.h"

using namespace platform;

namespace {

// What follows a program's name in its file name (and so in its
// application name).
#ifdef _WIN32
const char16_t* const kExeSuffix = u".exe";
#else
const char16_t* const kExeSuffix = u"";
#endif

std::string Hex(const CArrayEx<BYTE, BYTE>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (BYTE b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string HashOf(const std::filesystem::path& path)
{
    CString name = testsupport::ToCString(path);
    return Hex(CFileUtils::ComputeFileHash(name));
}

// The error code of the CFileException that hashing throws, or 0 when it
// does not.
DWORD HashError(const std::filesystem::path& path)
{
    CString name = testsupport::ToCString(path);
    try {
        CFileUtils::ComputeFileHash(name);
    } catch (CFileException* e) {
        DWORD error = e->m_osError;
        EXPECT_EQ(e->m_fileName, name);
        e->Delete();
        return error;
    }
    return 0;
}

// Starts the helper that opens `path` and keeps it open until terminated;
// returns once it has the file open.
CProcessHandle StartHolder(const std::filesystem::path& path)
{
    CString line = u"\"" + testsupport::ToCString(testsupport::BinDir() / "childproc") + u"\" hold " +
                   QuoteArgument(testsupport::ToCString(path));
    CProcessHandle process;
    CPipeReader pipe;
    DWORD error = 0;
    EXPECT_TRUE(StartProcess(line, EProcessOutput::eCapturedPipe, process, &pipe, error)) << error;
    std::string said;
    for (int i = 0; i < 2000 && said.find('\n') == std::string::npos; ++i) {
        char buffer[16];
        int n = pipe.Read(buffer, sizeof buffer);
        if (n > 0)
            said.append(buffer, static_cast<size_t>(n));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(said, "ready\n");
    return process;
}

} // namespace

TEST(FileUtilsTest, HashesAreTheMd5OfTheWholeContent)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "empty", "");
    testsupport::WriteFile(dir / "abc", "abc");
    testsupport::WriteFile(dir / "digest", "message digest");
    // One million 'a': more than one block and not a multiple of it.
    testsupport::WriteFile(dir / "million", std::string(1000000, 'a'));
    // Exactly two blocks.
    testsupport::WriteFile(dir / "blocks", std::string(8192, 'a'));
    const std::filesystem::path named = dir.Path() / u"Jürgen's file with blanks ñ 日本.txt";
    testsupport::WriteFile(named, "abc");

    EXPECT_EQ(HashOf(dir / "empty"), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(HashOf(dir / "abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(HashOf(dir / "digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(HashOf(dir / "million"), "7707D6AE4E027C70EEA2A935C2296F21");
    EXPECT_EQ(HashOf(named), "900150983CD24FB0D6963F7D28E17F72");

    CMd5 reference;
    std::string twoBlocks(8192, 'a');
    reference.Update(twoBlocks.data(), 4000);
    reference.Update(twoBlocks.data() + 4000, 4192);
    BYTE digest[16];
    ASSERT_TRUE(reference.Final(digest));
    CArrayEx<BYTE, BYTE> expected;
    for (BYTE b : digest)
        expected.Add(b);
    EXPECT_EQ(HashOf(dir / "blocks"), Hex(expected));
    // A finished computation can't be fed or finished again.
    EXPECT_FALSE(reference.Update("x", 1));
    EXPECT_FALSE(reference.Final(digest));
}

TEST(FileUtilsTest, HashingRefusesMissingFilesFoldersAndFifos)
{
    testsupport::TempDir dir;
    EXPECT_EQ(HashError(dir / "missing"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(HashError(dir.Path()), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(HashError(std::filesystem::path()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // What is no regular file is not hashed: a FIFO here, a device there.
#ifdef _WIN32
    EXPECT_EQ(HashError("NUL"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
#else
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(HashError(dir / "fifo"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(HashError("/dev/null"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
#endif
}

TEST(FileUtilsTest, AFileHeldOpenByAnotherProcessIsNotHashedUntilItIsReleased)
{
    testsupport::TempDir dir;
    auto path = dir / "working copy.txt";
    testsupport::WriteFile(path, "abc");
    CString name = testsupport::ToCString(path);

    EXPECT_TRUE(CFileUtils::IsFileInUse(name).IsEmpty());
    CProcessHandle holder = StartHolder(path);
    // The holder lets others read and write: it is the no-sharing open of
    // the hash that is refused.
    EXPECT_EQ(HashError(path), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // Wine's Restart Manager reports no application for any file.
    if (!testsupport::RunsUnderWine()) {
#ifdef _WIN32
        // The Restart Manager's name of an application: the product name
        // where its program has one, which the helper has not.
        EXPECT_FALSE(CFileUtils::IsFileInUse(name).IsEmpty());
        EXPECT_EQ(FindFileHolder(name), holder.GetId());
#else
        EXPECT_EQ(CFileUtils::IsFileInUse(name), CString(u"childproc"));
        CString app;
        EXPECT_EQ(FindFileHolder(name, &app), holder.GetId());
        EXPECT_EQ(app, CString(u"childproc"));
#endif
    }

    ASSERT_TRUE(holder.Terminate(0));
    ASSERT_EQ(holder.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(HashOf(path), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_TRUE(CFileUtils::IsFileInUse(name).IsEmpty());
    EXPECT_TRUE(CFileUtils::IsFileInUse(testsupport::ToCString(dir / "no such file")).IsEmpty());
    EXPECT_EQ(FindFileHolder(testsupport::ToCString(dir / "no such file")), 0u);
}

TEST(FileUtilsTest, TheCallersOwnOpenFileIsNoOtherHolder)
{
    testsupport::TempDir dir;
    auto path = dir / "own";
    testsupport::WriteFile(path, "abc");
#ifdef _WIN32
    // Sharing modes make no exception for the calling process: a handle of
    // its own that does not share reading keeps the hash out too.
    HANDLE own = ::CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(own, INVALID_HANDLE_VALUE);
    EXPECT_EQ(HashError(path), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
#else
    // The stand-in looks for other processes only: the caller's own
    // descriptors do not count.
    int own = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(own, 0);
    EXPECT_EQ(HashOf(path), "900150983CD24FB0D6963F7D28E17F72");
#endif
    EXPECT_TRUE(CFileUtils::IsFileInUse(testsupport::ToCString(path)).IsEmpty());
    EXPECT_EQ(FindFileHolder(testsupport::ToCString(path)), 0u);
#ifdef _WIN32
    ::CloseHandle(own);
#else
    close(own);
#endif
    EXPECT_EQ(HashOf(path), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(FileUtilsTest, AppNamesOfNullRunningAndEndedProcesses)
{
    EXPECT_TRUE(CFileUtils::GetAppName(CProcessHandle()).IsEmpty());
    EXPECT_EQ(CFileUtils::GetAppName(CProcessHandle::Current()), CString(u"FileUtilsTest") + kExeSuffix);

    CString line = u"\"" + testsupport::ToCString(testsupport::BinDir() / "childproc") + u"\" exit 0 60000";
    CProcessHandle child;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(line, EProcessOutput::eInherit, child, nullptr, error));
    EXPECT_EQ(CFileUtils::GetAppName(child), CString(u"childproc") + kExeSuffix);
    EXPECT_EQ(CFileUtils::GetAppName(CProcessHandle::Open(child.GetId())), CString(u"childproc") + kExeSuffix);
    child.Terminate(0);
    child.Wait(INFINITE);
    EXPECT_TRUE(CFileUtils::GetAppName(child).IsEmpty());
}

TEST(FileUtilsTest, OnlyTwoCompleteEqualDigestsAreTheSameHash)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a", "abc");
    testsupport::WriteFile(dir / "b", "abc");
    testsupport::WriteFile(dir / "c", "abd");
    CString a = testsupport::ToCString(dir / "a");
    CString b = testsupport::ToCString(dir / "b");
    CString c = testsupport::ToCString(dir / "c");
    auto ha = CFileUtils::ComputeFileHash(a);
    EXPECT_TRUE(CFileUtils::IsSameHash(ha, CFileUtils::ComputeFileHash(b)));
    EXPECT_FALSE(CFileUtils::IsSameHash(ha, CFileUtils::ComputeFileHash(c)));
    // A failed digest (empty) equals nothing, not even another failed one.
    CArrayEx<BYTE, BYTE> failed;
    EXPECT_FALSE(CFileUtils::IsSameHash(failed, failed));
    EXPECT_FALSE(CFileUtils::IsSameHash(ha, failed));
    CArrayEx<BYTE, BYTE> shortened = ha;
    shortened.RemoveAt(15);
    EXPECT_FALSE(CFileUtils::IsSameHash(ha, shortened));
}

// File hashing, file holders and application names.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

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
    CString name = CString::FromUtf8(path.string());
    return Hex(CFileUtils::ComputeFileHash(name));
}

// The error code of the CFileException that hashing throws, or 0 when it
// does not.
DWORD HashError(const std::filesystem::path& path)
{
    CString name = CString::FromUtf8(path.string());
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
    CString line = u"\"" + CString::FromUtf8((testsupport::BinDir() / "childproc").string()) + u"\" hold " +
                   QuoteArgument(CString::FromUtf8(path.string()));
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
    testsupport::WriteFile(dir / "Jürgen's file with blanks.txt", "abc");

    EXPECT_EQ(HashOf(dir / "empty"), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(HashOf(dir / "abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(HashOf(dir / "digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(HashOf(dir / "million"), "7707D6AE4E027C70EEA2A935C2296F21");
    EXPECT_EQ(HashOf(dir / "Jürgen's file with blanks.txt"), "900150983CD24FB0D6963F7D28E17F72");

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
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(HashError(dir / "fifo"), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(HashError(std::filesystem::path()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileUtilsTest, AFileHeldOpenByAnotherProcessIsNotHashedUntilItIsReleased)
{
    testsupport::TempDir dir;
    auto path = dir / "working copy.txt";
    testsupport::WriteFile(path, "abc");
    CString name = CString::FromUtf8(path.string());

    EXPECT_TRUE(CFileUtils::IsFileInUse(name).IsEmpty());
    CProcessHandle holder = StartHolder(path);
    EXPECT_EQ(HashError(path), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(CFileUtils::IsFileInUse(name), CString(u"childproc"));
    CString app;
    EXPECT_EQ(FindFileHolder(name, &app), holder.GetId());
    EXPECT_EQ(app, CString(u"childproc"));

    ASSERT_TRUE(holder.Terminate(0));
    ASSERT_EQ(holder.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(HashOf(path), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_TRUE(CFileUtils::IsFileInUse(name).IsEmpty());
    EXPECT_TRUE(CFileUtils::IsFileInUse(u"/no/such/file").IsEmpty());
}

TEST(FileUtilsTest, TheCallersOwnDescriptorsDoNotCountAsAnotherHolder)
{
    testsupport::TempDir dir;
    auto path = dir / "own";
    testsupport::WriteFile(path, "abc");
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(HashOf(path), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_TRUE(CFileUtils::IsFileInUse(CString::FromUtf8(path.string())).IsEmpty());
    close(fd);
}

TEST(FileUtilsTest, AppNamesOfNullRunningAndEndedProcesses)
{
    EXPECT_TRUE(CFileUtils::GetAppName(CProcessHandle()).IsEmpty());
    EXPECT_EQ(CFileUtils::GetAppName(CProcessHandle::Current()), CString(u"FileUtilsTest"));

    CString line = u"\"" + CString::FromUtf8((testsupport::BinDir() / "childproc").string()) + u"\" exit 0 60000";
    CProcessHandle child;
    DWORD error = 0;
    ASSERT_TRUE(StartProcess(line, EProcessOutput::eInherit, child, nullptr, error));
    EXPECT_EQ(CFileUtils::GetAppName(child), CString(u"childproc"));
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
    CString a = CString::FromUtf8((dir / "a").string());
    CString b = CString::FromUtf8((dir / "b").string());
    CString c = CString::FromUtf8((dir / "c").string());
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

#include <gtest/gtest.h>

#include "platform/PrivateProfile.h"
#include "TestEnvironment.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const auto P = &testsupport::ToCString;

// The bytes of a file as our own writer lays it out (UTF-8 for a new file,
// the line ends of the lines it keeps, "\n" for lines it adds). Windows
// writes with kernel32, whose layout is not ours to pin: there the tests
// check what reading gives back.
#ifdef _WIN32
#define EXPECT_OWN_LAYOUT(file, bytes) static_cast<void>(0)
#else
#define EXPECT_OWN_LAYOUT(file, bytes) EXPECT_EQ(ReadFile(file), bytes)
#endif

CString Get(const char16_t* section, const char16_t* key, const fs::path& file, const char16_t* def = u"<none>")
{
    CString out;
    DWORD n = GetPrivateProfileStringW(section, key, def, out, P(file));
    EXPECT_EQ(n, static_cast<DWORD>(out.GetLength()));
    return out;
}

std::vector<fs::path> FolderEntries(const fs::path& dir)
{
    std::vector<fs::path> all;
    for (const auto& e : fs::directory_iterator(dir))
        all.push_back(e.path().filename());
    return all;
}

} // namespace

TEST(PrivateProfileTest, WriteCreatesPrivateFileAndReadsBackIgnoringCase)
{
    TempDir dir;
    fs::path ini = dir / "Report.docx.veilcase";
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"OriginalFilename", u"/home/u/Jürgen/Report.docx", P(ini)));
    ASSERT_TRUE(WritePrivateProfileStringW(u"VEILCASE", u"UsedKeys", u"0123456789ABCDEF,FEDCBA9876543210", P(ini)));

#ifndef _WIN32
    struct stat st{};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
    EXPECT_OWN_LAYOUT(ini, "[veilcase]\nOriginalFilename=/home/u/Jürgen/Report.docx\n"
                      "UsedKeys=0123456789ABCDEF,FEDCBA9876543210\n");

    EXPECT_EQ(Get(u"VeilCase", u"originalfilename", ini), u"/home/u/Jürgen/Report.docx");
    EXPECT_EQ(Get(u" veilcase ", u" USEDKEYS ", ini), u"0123456789ABCDEF,FEDCBA9876543210");
    EXPECT_EQ(Get(u"veilcase", u"Missing", ini), u"<none>");
    EXPECT_EQ(Get(u"other", u"UsedKeys", ini, u"fallback  "), u"fallback");
    EXPECT_EQ(Get(u"veilcase", u"Missing", dir / "no-such.ini", nullptr), u"");
    // Only the file itself is left: no temporary file stays behind.
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<fs::path>{"Report.docx.veilcase"});
}

TEST(PrivateProfileTest, UpdateKeepsEveryOtherLineAndTheLineEndings)
{
    TempDir dir;
    fs::path ini = dir / "a.ini";
    WriteFile(ini, "; comment = not a key\r\n"
                   "[first]\r\n"
                   "Name = old value \r\n"
                   "strange line without equals\r\n"
                   "\r\n"
                   "[second]\r\n"
                   "name=second\r\n"
                   "last=no newline");
    ASSERT_TRUE(WritePrivateProfileStringW(u"First", u"NAME", u"new", P(ini)));
    ASSERT_TRUE(WritePrivateProfileStringW(u"first", u"Added", u"1", P(ini)));
    ASSERT_TRUE(WritePrivateProfileStringW(u"second", u"after", u"2", P(ini)));
    ASSERT_TRUE(WritePrivateProfileStringW(u"third", u"k", u"v", P(ini)));
    EXPECT_OWN_LAYOUT(ini, "; comment = not a key\r\n"
                           "[first]\r\n"
                           "Name=new\r\n"
                           "strange line without equals\r\n"
                           "Added=1\r\n"
                           "\r\n"
                           "[second]\r\n"
                           "name=second\r\n"
                           "last=no newline\r\n"
                           "after=2\r\n"
                           "[third]\r\n"
                           "k=v\r\n");
    EXPECT_EQ(Get(u"FIRST", u"name", ini), u"new");
    EXPECT_EQ(Get(u"first", u"added", ini), u"1");
    EXPECT_EQ(Get(u"second", u"after", ini), u"2");
    EXPECT_EQ(Get(u"third", u"k", ini), u"v");
    EXPECT_EQ(Get(u"second", u"name", ini), u"second");
    EXPECT_EQ(Get(u"second", u"last", ini), u"no newline");
    EXPECT_EQ(Get(u"first", u"; comment", ini), u"<none>");
}

TEST(PrivateProfileTest, NullValueDeletesKeyAndNullKeyDeletesSection)
{
    TempDir dir;
    fs::path ini = dir / "a.ini";
    WriteFile(ini, "[a]\nx=1\ny=2\n[b]\nz=3\n[A]\nx=dup\n");
    ASSERT_TRUE(WritePrivateProfileStringW(u"a", u"X", nullptr, P(ini)));
    EXPECT_OWN_LAYOUT(ini, "[a]\ny=2\n[b]\nz=3\n[A]\n");
    EXPECT_EQ(Get(u"a", u"x", ini), u"<none>");
    ASSERT_TRUE(WritePrivateProfileStringW(u"A", nullptr, nullptr, P(ini)));
    EXPECT_OWN_LAYOUT(ini, "[b]\nz=3\n");
    EXPECT_EQ(Get(u"b", u"z", ini), u"3");
    // A deleted section reads as gone, also when the file had it twice.
    // Wine deletes the first of them only, so the second shows again.
    if (!testsupport::RunsUnderWine()) {
        EXPECT_EQ(Get(u"a", u"x", ini), u"<none>");
    }
    EXPECT_EQ(Get(u"a", u"y", ini), u"<none>");

    // Deleting from a file that does not exist creates nothing.
    fs::path missing = dir / "missing.ini";
    EXPECT_TRUE(WritePrivateProfileStringW(u"a", u"x", nullptr, P(missing)));
    EXPECT_TRUE(WritePrivateProfileStringW(u"a", nullptr, nullptr, P(missing)));
    EXPECT_FALSE(fs::exists(missing));
}

TEST(PrivateProfileTest, ValuesComeBackUnchangedEvenWithBlanksAndQuotes)
{
    TempDir dir;
    fs::path ini = dir / "a.ini";
    const char16_t* values[] = {u"  padded name.txt ", u"\"quoted\"", u"'single'", u"a=b=c", u"", u"x\"y",
                                u"日本語 ✓ Ünïcödé"};
    for (const char16_t* v : values) {
        ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", v, P(ini))) << CString(v).ToUtf8();
        EXPECT_EQ(Get(u"s", u"k", ini), v) << CString(v).ToUtf8();
    }
    // A hand-written file: blanks around the value and one pair of quotes go.
    WriteFile(ini, "[s]\nk =  \"  inner  \"  \nj='x'\n");
    EXPECT_EQ(Get(u"s", u"k", ini), u"  inner  ");
    EXPECT_EQ(Get(u"s", u"j", ini), u"x");
}

TEST(PrivateProfileTest, RepeatedSectionWritesGoWhereReadsLook)
{
    // Reads see the first section of a name only; a write must land there
    // too, else it reports success and the value never reads back.
    TempDir dir;
    fs::path ini = dir / "a.ini";
    WriteFile(ini, "[veilcase]\nOriginalFilename=/a\n[other]\n[VEILCASE]\nUsedKeys=OLD\n");
    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"UsedKeys", u"NEW", P(ini)));
    EXPECT_EQ(Get(u"veilcase", u"UsedKeys", ini), u"NEW");
    EXPECT_OWN_LAYOUT(ini, "[veilcase]\nOriginalFilename=/a\nUsedKeys=NEW\n[other]\n[VEILCASE]\nUsedKeys=OLD\n");
}

TEST(PrivateProfileTest, RefusesWhatWouldBreakTheFileAndLeavesItAlone)
{
    TempDir dir;
    fs::path ini = dir / "a.ini";
    WriteFile(ini, "[veilcase]\nOriginalFilename=/a\n");
    // A Linux file name may hold a line break; written as is it would add a
    // line of its own choosing to the file.
    EXPECT_FALSE(WritePrivateProfileStringW(u"veilcase", u"OriginalFilename", u"/a\nUsedKeys=EVIL", P(ini)));
    EXPECT_FALSE(WritePrivateProfileStringW(u"veilcase", u"k\r", u"v", P(ini)));
    EXPECT_FALSE(WritePrivateProfileStringW(u"veilcase", u"k=x", u"v", P(ini)));
    EXPECT_FALSE(WritePrivateProfileStringW(u"veilcase", u"  ", u"v", P(ini)));
    EXPECT_FALSE(WritePrivateProfileStringW(u"a]b", u"k", u"v", P(ini)));
    EXPECT_FALSE(WritePrivateProfileStringW(u"", u"k", u"v", P(ini)));
    EXPECT_EQ(ReadFile(ini), "[veilcase]\nOriginalFilename=/a\n");

    // Places that can't hold the file fail without leaving anything.
    EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", P(dir / "no-folder" / "a.ini")));
    fs::create_directory(dir / "folder.ini");
    EXPECT_FALSE(WritePrivateProfileStringW(u"s", u"k", u"v", P(dir / "folder.ini")));
    EXPECT_EQ(Get(u"s", u"k", dir / "folder.ini"), u"<none>");
    EXPECT_EQ(FolderEntries(dir.Path()).size(), 2u);
}

TEST(PrivateProfileTest, ReadsUtf16FilesAndKeepsTheirEncoding)
{
    TempDir dir;
    fs::path ini = dir / "wide.ini";
    std::u16string text = u"[veilcase]\r\nOriginalFilename=C:\\Users\\Jürgen\\Bericht.docx\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    WriteFile(ini, bytes);
    EXPECT_EQ(Get(u"veilcase", u"OriginalFilename", ini), u"C:\\Users\\Jürgen\\Bericht.docx");

    ASSERT_TRUE(WritePrivateProfileStringW(u"veilcase", u"UsedKeys", u"ÄB", P(ini)));
    std::string after = ReadFile(ini);
    ASSERT_EQ(after.compare(0, bytes.size(), bytes), 0);
    EXPECT_EQ(after.substr(bytes.size()), std::string("U\0s\0e\0d\0K\0e\0y\0s\0=\0\xC4\0B\0\r\0\n\0", 26));
    EXPECT_EQ(Get(u"veilcase", u"UsedKeys", ini), u"ÄB");

    // A UTF-8 BOM is read past and kept.
    WriteFile(ini, "\xEF\xBB\xBF[s]\nk=v\n");
    EXPECT_EQ(Get(u"s", u"k", ini), u"v");
    ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"w", P(ini)));
    EXPECT_OWN_LAYOUT(ini, "\xEF\xBB\xBF[s]\nk=w\n");
}

TEST(PrivateProfileTest, ListsSectionAndKeyNames)
{
    TempDir dir;
    fs::path ini = dir / "a.ini";
    WriteFile(ini, "[one]\na=1\n;c=3\nb=2\n[two]\n");
    EXPECT_EQ(Get(nullptr, nullptr, ini), CString(std::u16string(u"one\0two\0", 8)));
    EXPECT_EQ(Get(u"ONE", nullptr, ini), CString(std::u16string(u"a\0b\0", 4)));
    // The default stands for a missing key; a missing section has no key
    // names at all. Wine gives the default here.
    if (!testsupport::RunsUnderWine()) {
        EXPECT_EQ(Get(u"none", nullptr, ini), u"");
    }
}

TEST(PrivateProfileTest, WritesThroughASymbolicLinkToItsTarget)
{
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows, and the C++ library of mingw-w64 cannot make them";
#endif
    TempDir dir;
    fs::create_directory(dir / "real");
    WriteFile(dir / "real" / "a.ini", "[s]\nk=1\n");
    fs::create_symlink(dir / "real" / "a.ini", dir / "link.ini");
    ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"2", P(dir / "link.ini")));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadFile(dir / "real" / "a.ini"), "[s]\nk=2\n");
}

TEST(PrivateProfileTest, ConcurrentWritersLoseNoKey)
{
    TempDir dir;
    fs::path ini = dir / "shared.ini";
    constexpr int kThreads = 4, kKeys = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int k = 0; k < kKeys; ++k) {
                CString key;
                key.Format(u"t%dk%d", t, k);
                EXPECT_TRUE(WritePrivateProfileStringW(u"s", key, u"v", P(ini)));
            }
        });
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        for (int k = 0; k < kKeys; ++k) {
            CString key;
            key.Format(u"t%dk%d", t, k);
            EXPECT_EQ(Get(u"s", key, ini), u"v") << key.ToUtf8();
        }
    EXPECT_EQ(FolderEntries(dir.Path()).size(), 1u);
}

TEST(PrivateProfileTest, OddByteAfterTheLastUtf16UnitIsNoTextAndGoesOnWrite)
{
    TempDir dir;
    fs::path ini = dir / "odd.ini";
    std::u16string text = u"[s]\r\nk=v\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    WriteFile(ini, bytes + "A");
    EXPECT_EQ(Get(u"s", u"k", ini), u"v");

    // What is written reads back, and the file is whole units again.
    ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"added", u"w", P(ini)));
    EXPECT_EQ(Get(u"s", u"added", ini), u"w");
    EXPECT_EQ(Get(u"s", u"k", ini), u"v");
    std::string after = ReadFile(ini);
    EXPECT_EQ(after.size() % 2, 0u);
    EXPECT_EQ(after.compare(0, 2, "\xFF\xFE"), 0);
    ASSERT_TRUE(WritePrivateProfileStringW(u"t", u"more", u"x", P(ini)));
    EXPECT_EQ(Get(u"t", u"more", ini), u"x");
    EXPECT_EQ(Get(u"s", u"added", ini), u"w");
}

#ifndef _WIN32
namespace {

// Runs `call` on a thread of its own and reports whether it returned within
// five seconds; if not, a reader and a writer are attached to the FIFO so
// that the blocked call can finish before the test fails.
bool ReturnsWithoutWaitingOn(const fs::path& fifo, const std::function<void()>& call)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        call();
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bool returned = done;
    if (!returned) {
        int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            close(writer);
        worker.join();
        if (reader >= 0)
            close(reader);
    } else {
        worker.join();
    }
    return returned;
}

} // namespace

TEST(PrivateProfileTest, AFifoInPlaceOfTheFileIsRefusedWithoutBlocking)
{
    TempDir dir;
    fs::path fifo = dir / "side.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CString value;
    EXPECT_TRUE(ReturnsWithoutWaitingOn(fifo, [&] { value = Get(u"s", u"k", fifo, u"fallback"); }));
    EXPECT_EQ(value, u"fallback");
    BOOL written = TRUE;
    EXPECT_TRUE(ReturnsWithoutWaitingOn(fifo, [&] { written = WritePrivateProfileStringW(u"s", u"k", u"v", P(fifo)); }));
    EXPECT_FALSE(written);
    EXPECT_TRUE(fs::is_fifo(fifo));
    // The folder's lock was given back: another file in it can be written.
    EXPECT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"v", P(dir / "other.ini")));
}
#endif

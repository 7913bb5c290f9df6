// Listing a folder with a wildcard, the way Windows' FindFirstFileW does it:
// the same files and patterns on both systems give the same names. The
// order of a listing is the file system's (Windows promises none), so the
// names are compared sorted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

// Names that are their own 8.3 short names where a pattern looks at the
// extension: Windows matches short names too ("x.gpgx" is "X~1.GPG" there),
// which the stand-in does not imitate.
const char* const kFiles[] = {"README", "a.b.c", "log7", "blog7", "notes.txt", "A.GPG", "a.gpg.txt",
                              "Makefile", "main.cpp", "abc", "ac", "abbc", "xaybzbqc"};

std::vector<std::string> Listed(const testsupport::TempDir& dir, const char16_t* pattern)
{
    std::vector<platform::FileEntry> entries;
    EXPECT_TRUE(platform::EnumerateDirectory(testsupport::ToCString(dir.Path()), pattern, entries))
        << CString(pattern).ToUtf8();
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name.ToUtf8());
    std::sort(names.begin(), names.end());
    return names;
}

using Names = std::vector<std::string>;

} // namespace

TEST(WildcardListing, PatternsSelectTheSameNamesAsWindows)
{
    testsupport::TempDir dir{"wild"};
    for (const char* name : kFiles)
        testsupport::WriteFile(dir / name, name);
    fs::create_directory(dir / "sub.d");

    // "*" and "*.*" take every name, with a dot or without; folders too.
    Names all{"A.GPG", "Makefile", "README", "a.b.c", "a.gpg.txt", "abbc", "abc", "ac", "blog7", "log7",
              "main.cpp", "notes.txt", "sub.d", "xaybzbqc"};
    EXPECT_EQ(Listed(dir, u"*"), all);
    EXPECT_EQ(Listed(dir, u"*.*"), all);
    EXPECT_EQ(Listed(dir, u"log*.*"), (Names{"log7"}));
    // Case is ignored.
    EXPECT_EQ(Listed(dir, u"*.TXT"), (Names{"a.gpg.txt", "notes.txt"}));
    EXPECT_EQ(Listed(dir, u"*.gpg"), (Names{"A.GPG"}));
    // '?' is exactly one character.
    EXPECT_EQ(Listed(dir, u"a?c"), (Names{"abc"}));
    // Several stars.
    EXPECT_EQ(Listed(dir, u"*a*b*c"), (Names{"a.b.c", "abbc", "abc", "xaybzbqc"}));
    // A trailing dot selects names without an extension (FindFirstFileW
    // turns it into the DOS dot, "a period or the end of the name"). Wine
    // lists every name here.
    if (!testsupport::RunsUnderWine()) {
        EXPECT_EQ(Listed(dir, u"*."),
                  (Names{"Makefile", "README", "abbc", "abc", "ac", "blog7", "log7", "xaybzbqc"}));
    }
    // Nothing matches: an empty listing, not a failure.
    EXPECT_EQ(Listed(dir, u"*.none"), Names{});
}

TEST(WildcardListing, FindFirstGivesAMatchingEntryOrNone)
{
    testsupport::TempDir dir{"find"};
    testsupport::WriteFile(dir / "letter.txt.gpg", "x");
    testsupport::WriteFile(dir / "plain.txt", "y");
    platform::FileEntry entry;
    ASSERT_TRUE(platform::FindFirst(testsupport::ToCString(dir / "*.GPG"), entry));
    EXPECT_EQ(entry.name, u"letter.txt.gpg");
    EXPECT_EQ(entry.size, 1u);
    EXPECT_EQ(entry.attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_FALSE(platform::FindFirst(testsupport::ToCString(dir / "*.pgp"), entry));
    EXPECT_EQ(platform::LastFileError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

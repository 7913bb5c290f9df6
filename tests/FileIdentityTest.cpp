// File identities: what changes them and what does not.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestEnvironment.h"
#include "platform/FileIdentity.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

platform::SFileIdentity IdentityOf(const fs::path& path)
{
    platform::SFileIdentity identity;
    EXPECT_TRUE(platform::QueryFileIdentity(testsupport::ToCString(path), identity)) << path;
    return identity;
}

TEST(FileIdentityTest, AFileKeepsItsIdentityUntilItChanges)
{
    TempDir dir;
    fs::path file = dir / "a.gpg";
    WriteFile(file, "one");
    const platform::SFileIdentity first = IdentityOf(file);
    EXPECT_TRUE(first.regularFile);
    EXPECT_EQ(first.size, 3u);
    EXPECT_EQ(IdentityOf(file), first);
#ifndef _WIN32
    // Read through a symbolic link it is the same file (creating one needs
    // a privilege on Windows).
    fs::create_symlink(file, dir / "link.gpg");
    EXPECT_EQ(IdentityOf(dir / "link.gpg"), first);
#endif

    // New content of the same size, with the old modification time put back.
    const auto written = fs::last_write_time(file);
    WriteFile(file, "two");
    fs::last_write_time(file, written);
    EXPECT_NE(IdentityOf(file), first);

    // Another file moved into its place, again with the same size and time.
    const platform::SFileIdentity second = IdentityOf(file);
    fs::path other = dir / "b.tmp";
    WriteFile(other, "two");
    fs::last_write_time(other, written);
    fs::rename(other, file);
    const platform::SFileIdentity third = IdentityOf(file);
    EXPECT_NE(third, second);
    EXPECT_NE(third.fileId, second.fileId);

    // Another name of the same file (a hard link) is the same file; adding
    // a name is a change of the file's attributes, so the names are
    // compared after it.
    fs::create_hard_link(file, dir / "other name.gpg");
    const platform::SFileIdentity linked = IdentityOf(dir / "other name.gpg");
    EXPECT_EQ(linked, IdentityOf(file));
    EXPECT_EQ(linked.fileId, third.fileId);
    EXPECT_EQ(linked.volume, third.volume);
    EXPECT_EQ(linked.modified, third.modified);
}

TEST(FileIdentityTest, FoldersAndMissingPaths)
{
    TempDir dir;
    EXPECT_FALSE(IdentityOf(dir.Path()).regularFile);
    platform::SFileIdentity none;
    none.size = 7;
    EXPECT_FALSE(platform::QueryFileIdentity(testsupport::ToCString(dir / "missing"), none));
    EXPECT_EQ(none, platform::SFileIdentity());
    EXPECT_FALSE(platform::QueryFileIdentity(CString(), none));
}

} // namespace

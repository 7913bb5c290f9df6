// The side-file lookup of the dialog wrappers: which side-file belongs to
// where a dialog starts, comparing paths by whole components and never
// following links out of the working directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Configuration.h"
#include "TestEnvironment.h"
#include "dialoghook/Veilshim.h"
#include "platform/PrivateProfile.h"

using testsupport::TempDir;
using testsupport::ToCString;
namespace fs = std::filesystem;

namespace {

class SideFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_work = m_root.Path() / "work";
        fs::create_directories(m_work);
        CConfiguration::SetWorkingDir(ToCString(m_work));
    }
    void TearDown() override { CConfiguration::SetWorkingDir(CString()); }

    // A side-file for the working copy `folder/name` naming `original`.
    fs::path MakeSideFile(const fs::path& folder, const std::string& name, const CString& original = u"/x/y.txt")
    {
        fs::create_directories(folder);
        fs::path side = folder / (name + ".veilcase");
        EXPECT_TRUE(WritePrivateProfileStringW(u"veilcase", u"OriginalFilename", original, ToCString(side)));
        return side;
    }

    TempDir m_root;
    fs::path m_work;
};

// Changes the current folder for one test.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const fs::path& dir) : m_previous(fs::current_path()) { fs::current_path(dir); }
    ~ScopedCurrentDir() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

} // namespace

TEST(SideFilePaths, InsideComparesWholeComponents)
{
    EXPECT_TRUE(CVeilshim::IsPathInside(u"/run/user/1/veilcase", u"/run/user/1/veilcase"));
    EXPECT_TRUE(CVeilshim::IsPathInside(u"/run/user/1/veilcase/ABC", u"/run/user/1/veilcase"));
    EXPECT_TRUE(CVeilshim::IsPathInside(u"/run/user/1/veilcase/ABC/", u"/run/user/1/veilcase/"));
    EXPECT_FALSE(CVeilshim::IsPathInside(u"/run/user/1/veilcase2/ABC", u"/run/user/1/veilcase"));
    EXPECT_FALSE(CVeilshim::IsPathInside(u"/run/user/1/veilcase-old", u"/run/user/1/veilcase"));
    EXPECT_FALSE(CVeilshim::IsPathInside(u"/home/run/user/1/veilcase/ABC", u"/run/user/1/veilcase"));
    EXPECT_FALSE(CVeilshim::IsPathInside(u"/run/user/1/Veilcase/ABC", u"/run/user/1/veilcase")) << "letter case counts";
    EXPECT_FALSE(CVeilshim::IsPathInside(u"/run/user/1/veilcase/../other", u"/run/user/1/veilcase"));
    EXPECT_TRUE(CVeilshim::IsPathInside(u"/anything", u"/"));
    EXPECT_FALSE(CVeilshim::IsPathInside(u"", u"/run"));
    EXPECT_FALSE(CVeilshim::IsPathInside(u"/run", u""));
}

TEST_F(SideFileTest, FolderInsideTheWorkingDirectoryGivesItsSideFile)
{
    const fs::path copy = m_work / "3F2A";
    const fs::path side = MakeSideFile(copy, "report.docx");
    EXPECT_EQ(CVeilshim::FindSideFileFor(ToCString(copy), u"unrelated.txt"), ToCString(side));
    // A folder of the working directory without a side-file gives itself.
    fs::create_directories(m_work / "empty");
    EXPECT_EQ(CVeilshim::FindSideFileFor(ToCString(m_work / "empty"), u"report.docx"), ToCString(m_work / "empty"));
    EXPECT_EQ(CVeilshim::ReadSideFileValue(ToCString(m_work / "empty"), u"OriginalFilename"), u"");
    EXPECT_EQ(CVeilshim::ReadSideFileValue(ToCString(side), u"OriginalFilename"), u"/x/y.txt");
}

TEST_F(SideFileTest, AFolderNamedLikeTheWorkingDirectoryPlusASuffixIsOutside)
{
    // "work2" starts with the working directory's path but is not in it: its
    // side-file must not point the dialog anywhere.
    const fs::path impostor = m_root.Path() / "work2" / "ABCD";
    MakeSideFile(impostor, "notes.txt", u"/somewhere/else/notes.txt");
    const fs::path genuine = MakeSideFile(m_work / "1111", "notes.txt", u"/docs/notes.txt");
    const CString found = CVeilshim::FindSideFileFor(ToCString(impostor), u"notes.txt");
    EXPECT_EQ(found, ToCString(genuine));
}

TEST_F(SideFileTest, OutsideTheTreeIsSearchedForTheExactNameWithoutFollowingLinks)
{
    const fs::path outside = m_root.Path() / "documents";
    fs::create_directories(outside);
    const fs::path deep = MakeSideFile(m_work / "A" / "B", "plan.odt");
    MakeSideFile(m_work / "C", "Plan.odt"); // another letter case is another name
    EXPECT_EQ(CVeilshim::FindSideFileFor(ToCString(outside), u"plan.odt"), ToCString(deep));

    // A link out of the working directory is not followed.
    const fs::path foreign = m_root.Path() / "foreign";
    MakeSideFile(foreign, "secret.txt");
    fs::create_directory_symlink(foreign, m_work / "link");
    EXPECT_EQ(CVeilshim::FindSideFileFor(ToCString(outside), u"secret.txt"), ToCString(m_work));

    // Without a file name the search is for a file named ".veilcase".
    EXPECT_EQ(CVeilshim::FindSideFileFor(ToCString(outside), u""), ToCString(m_work));
    std::ofstream(m_work / "A" / ".veilcase") << "[veilcase]\n";
    EXPECT_EQ(CVeilshim::FindSideFileFor(ToCString(outside), u""), ToCString(m_work / "A" / ".veilcase"));
}

TEST_F(SideFileTest, CurrentFolderInsideTheWorkingDirectoryIsSearchedWhenTheDialogsIsNot)
{
    const fs::path copy = m_work / "77";
    const fs::path side = MakeSideFile(copy, "a.txt");
    ScopedCurrentDir current(copy);
    EXPECT_EQ(CVeilshim::FindSideFileFor(ToCString(m_root.Path()), u"other.txt"), ToCString(side));
    EXPECT_EQ(CVeilshim::FindSideFileFor(u"", u"other.txt"), ToCString(side));
}

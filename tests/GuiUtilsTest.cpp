// The product version from the version block (with its fallbacks), the
// text form of class ids and the library's own module handle.
#include <gtest/gtest.h>

#include <cstdlib>

#include "GuiUtils.h"
#include "Ipc.h"
#include "platform/ResourceTable.h"
#include "platform/Resources.h"
#include "UuidUtils.h"

using namespace platform;

namespace {

// Builds version blocks in the VS_VERSIONINFO layout.
struct Node {
    std::u16string key;
    bool text = true;
    std::vector<BYTE> value;
    WORD valueLength = 0;
    std::vector<Node> children;
};

void Put16(std::vector<BYTE>& out, unsigned v)
{
    out.push_back(static_cast<BYTE>(v));
    out.push_back(static_cast<BYTE>(v >> 8));
}

void Write(std::vector<BYTE>& out, const Node& n)
{
    while (out.size() % 4)
        out.push_back(0);
    size_t start = out.size();
    Put16(out, 0);
    Put16(out, n.valueLength);
    Put16(out, n.text ? 1 : 0);
    for (char16_t c : n.key)
        Put16(out, c);
    Put16(out, 0);
    while (out.size() % 4)
        out.push_back(0);
    out.insert(out.end(), n.value.begin(), n.value.end());
    for (const Node& child : n.children)
        Write(out, child);
    size_t length = out.size() - start;
    out[start] = static_cast<BYTE>(length);
    out[start + 1] = static_cast<BYTE>(length >> 8);
}

Node Text(const std::u16string& key, const std::u16string& value)
{
    Node n{key, true, {}, static_cast<WORD>(value.size() + 1), {}};
    for (char16_t c : value)
        Put16(n.value, c);
    Put16(n.value, 0);
    return n;
}

Node Block(const std::u16string& key, std::vector<Node> children)
{
    return Node{key, true, {}, 0, std::move(children)};
}

Node Binary(const std::u16string& key, std::vector<BYTE> bytes)
{
    auto size = static_cast<WORD>(bytes.size());
    return Node{key, false, std::move(bytes), size, {}};
}

std::vector<BYTE> VersionBlock(std::vector<Node> children)
{
    Node root{u"VS_VERSION_INFO", false, std::vector<BYTE>(52, 0), 52, std::move(children)};
    std::vector<BYTE> out;
    Write(out, root);
    return out;
}

// Puts a crafted version resource in front of the chain for its lifetime.
class CraftedVersion {
public:
    explicit CraftedVersion(std::vector<BYTE> block) : m_block(std::move(block))
    {
        m_entry = {16, 0x0409, 1, m_block.data(), static_cast<uint32_t>(m_block.size())};
        m_table = {VEILCASE_RESOURCE_TABLE_MAGIC, VEILCASE_RESOURCE_TABLE_VERSION, 1, &m_entry};
        AddResourceSource(&m_table, true);
    }
    ~CraftedVersion() { RemoveResourceSource(&m_table); }

private:
    std::vector<BYTE> m_block;
    VeilResourceEntry m_entry{};
    VeilResourceTable m_table{};
};

Node StringTable(const std::u16string& name, const std::u16string& version)
{
    return Block(u"StringFileInfo", {Block(name, {Text(u"CompanyName", u"Orvelin"), Text(u"ProductVersion", version)})});
}

class GermanUser : public ::testing::Test {
protected:
    void SetUp() override { setenv("LC_ALL", "de_DE.UTF-8", 1); }
    void TearDown() override { unsetenv("LC_ALL"); }
};

} // namespace

TEST(ProductVersion, ComesFromTheResourceModule)
{
    EXPECT_EQ(CGuiUtils::GetProductVersion(), u"1.0.0.145");
}

TEST_F(GermanUser, TranslationTableNamesTheStringTable)
{
    // The table names English (US) and Unicode: that block wins over the
    // one of the user's language.
    CraftedVersion v(VersionBlock({Block(u"StringFileInfo", {Block(u"040704B0", {Text(u"ProductVersion", u"de")}),
                                                             Block(u"040904b0", {Text(u"ProductVersion", u"en")})}),
                                   Block(u"VarFileInfo", {Binary(u"Translation", {0x09, 0x04, 0xB0, 0x04})})}));
    EXPECT_EQ(CGuiUtils::GetProductVersion(), u"en");
}

TEST_F(GermanUser, WithoutUsableTranslationTheUserLanguageIsRead)
{
    {
        CraftedVersion none(VersionBlock({StringTable(u"040704b0", u"2.1")}));
        EXPECT_EQ(CGuiUtils::GetProductVersion(), u"2.1");
    }
    {
        // A translation block of another length than 4 bytes is not used.
        CraftedVersion wrongSize(VersionBlock(
            {StringTable(u"040704B0", u"2.2"), Block(u"VarFileInfo", {Binary(u"Translation", {0x09, 0x04})})}));
        EXPECT_EQ(CGuiUtils::GetProductVersion(), u"2.2");
    }
    {
        CraftedVersion otherLanguage(VersionBlock({StringTable(u"040904B0", u"2.3")}));
        EXPECT_EQ(CGuiUtils::GetProductVersion(), u"");
    }
}

TEST_F(GermanUser, MissingVersionTextOrResourceGivesEmpty)
{
    {
        CraftedVersion noProductVersion(VersionBlock(
            {Block(u"StringFileInfo", {Block(u"040704B0", {Text(u"FileVersion", u"9.9")})}),
             Block(u"VarFileInfo", {Binary(u"Translation", {0x07, 0x04, 0xB0, 0x04})})}));
        EXPECT_EQ(CGuiUtils::GetProductVersion(), u"");
    }
    {
        std::vector<BYTE> garbage = {0xFF, 0xFF, 0x00};
        CraftedVersion broken(garbage);
        EXPECT_EQ(CGuiUtils::GetProductVersion(), u"");
    }
    std::vector<ResourceSource> chain = ResourceChain();
    for (ResourceSource s : chain)
        RemoveResourceSource(s);
    EXPECT_EQ(CGuiUtils::GetProductVersion(), u"");
    for (ResourceSource s : chain)
        AddResourceSource(s);
    EXPECT_EQ(CGuiUtils::GetProductVersion(), u"1.0.0.145");
}

TEST(UuidText, BracedUpperCaseAndBack)
{
    const GUID fileSave = {0xC0B4E2F3, 0xBA21, 0x4773, {0x8D, 0xBA, 0x33, 0x5E, 0xC9, 0x46, 0xEB, 0x8B}};
    EXPECT_EQ(CUuidUtils::ToString(fileSave), u"{C0B4E2F3-BA21-4773-8DBA-335EC946EB8B}");
    EXPECT_EQ(CUuidUtils::ToString(GUID_NULL), u"{00000000-0000-0000-0000-000000000000}");

    GUID parsed{};
    ASSERT_TRUE(GuidFromString(u"{dc1c5a9c-e88a-4dde-a5a1-60f82a20aef7}", parsed));
    EXPECT_EQ(CUuidUtils::ToString(parsed), u"{DC1C5A9C-E88A-4DDE-A5A1-60F82A20AEF7}");
    ASSERT_TRUE(GuidFromString(u"C0B4E2F3-BA21-4773-8DBA-335EC946EB8B", parsed));
    EXPECT_EQ(parsed, fileSave);
    for (const char16_t* bad : {u"", u"{C0B4E2F3-BA21-4773-8DBA-335EC946EB8B", u" {C0B4E2F3-BA21-4773-8DBA-335EC946EB8B}",
                                u"{C0B4E2F3-BA21-4773-8DBA-335EC946EB8G}", u"{C0B4E2F3+BA21-4773-8DBA-335EC946EB8B}"}) {
        GUID untouched = fileSave;
        EXPECT_FALSE(GuidFromString(bad, untouched)) << CString(bad).ToUtf8();
        EXPECT_EQ(untouched, fileSave);
    }
    BYTE bytes[16];
    GuidToBytes(fileSave, bytes);
    EXPECT_EQ(bytes[0], 0xC0);
    EXPECT_EQ(bytes[15], 0x8B);
    EXPECT_EQ(GuidFromBytes(bytes), fileSave);
}

TEST(OwnModule, IsTheCoreLibrary)
{
    ModuleHandle module = CIpc::GetVeilcaseDllModuleHandle();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module, FindLoadedModule(u"veilshim64.dll"));
    CString path = ModuleFileName(module);
    EXPECT_EQ(path.Right(17), u"/libveilshim64.so") << path.ToUtf8();
}

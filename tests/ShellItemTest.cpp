// Shell items over file-system paths: item id lists (including lists that
// did not come from us), the names and attributes of items, arrays and their
// enumerators, and the ownership rules of what the functions hand out.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "ComRules.h"
#include "TestEnvironment.h"
#include "platform/FileSystem.h"
#include "platform/com/ComPtr.h"
#include "platform/shell/ShellApi.h"

using platform::ComPtr;
using testsupport::TempDir;
using testsupport::ToCString;

namespace {

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);

// An item id list freed with ILFree when it goes away.
struct IdList {
    explicit IdList(PIDLIST_ABSOLUTE list = nullptr) : p(list) {}
    ~IdList() { ILFree(p); }
    IdList(const IdList&) = delete;
    IdList& operator=(const IdList&) = delete;
    PIDLIST_ABSOLUTE p;
};

CString Name(IShellItem* item, SIGDN form)
{
    LPWSTR name = nullptr;
    EXPECT_EQ(item->GetDisplayName(form, &name), S_OK);
    CString result(name);
    CoTaskMemFree(name);
    return result;
}

ComPtr<IShellItem> ItemFor(const CString& path)
{
    IdList list(SHSimpleIDListFromPath(path));
    ComPtr<IShellItem> item;
    EXPECT_NE(list.p, nullptr) << path;
    if (list.p) {
        EXPECT_EQ(SHCreateItemFromIDList(list.p, IID_PPV_ARGS(item.Put())), S_OK);
    }
    return item;
}

// Builds a raw item id list from (size, bytes) parts, for lists we did not make.
std::vector<BYTE> RawList(const std::vector<std::vector<BYTE>>& items)
{
    std::vector<BYTE> raw;
    for (const auto& item : items) {
        auto cb = static_cast<USHORT>(item.size() + 2);
        raw.push_back(static_cast<BYTE>(cb & 0xFF));
        raw.push_back(static_cast<BYTE>(cb >> 8));
        raw.insert(raw.end(), item.begin(), item.end());
    }
    raw.push_back(0);
    raw.push_back(0);
    return raw;
}

std::vector<BYTE> NamedItem(std::u16string_view name, const char signature[2] = "FS")
{
    std::vector<BYTE> item(2 + name.size() * sizeof(char16_t));
    item[0] = static_cast<BYTE>(signature[0]);
    item[1] = static_cast<BYTE>(signature[1]);
    if (!name.empty())
        std::memcpy(item.data() + 2, name.data(), name.size() * sizeof(char16_t));
    return item;
}

} // namespace

TEST(ShellItemTest, AFileThatNeedNotExistKeepsItsPathThroughTheIdList)
{
    TempDir dir("items");
    CString path = ToCString(dir / "Bericht über März.txt");
    IdList list(SHSimpleIDListFromPath(path));
    ASSERT_NE(list.p, nullptr);
    WCHAR buffer[MAX_PATH];
    ASSERT_TRUE(SHGetPathFromIDListW(list.p, buffer));
    EXPECT_EQ(CString(buffer), path);

    ComPtr<IShellItem> item;
    ASSERT_EQ(SHCreateItemFromIDList(list.p, IID_PPV_ARGS(item.Put())), S_OK);
    EXPECT_EQ(Name(item.Get(), SIGDN_FILESYSPATH), path);
    EXPECT_EQ(Name(item.Get(), SIGDN_DESKTOPABSOLUTEPARSING), path);
    EXPECT_EQ(Name(item.Get(), SIGDN_NORMALDISPLAY), u"Bericht über März.txt");
    EXPECT_EQ(Name(item.Get(), SIGDN_PARENTRELATIVEPARSING), u"Bericht über März.txt");
    CString url = Name(item.Get(), SIGDN_URL);
    EXPECT_EQ(url.Left(7), u"file://");
    EXPECT_GE(url.Find(u"/Bericht%20%C3%BCber%20M%C3%A4rz.txt"), 0) << url;
    LPWSTR name = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(item->GetDisplayName(static_cast<SIGDN>(0x1234), &name), E_INVALIDARG);
    EXPECT_EQ(name, nullptr);

    // The item is of the file system even before the file exists; once it
    // exists it is a stream.
    SFGAOF attributes = 0;
    EXPECT_EQ(item->GetAttributes(SFGAO_FILESYSTEM | SFGAO_STREAM, &attributes), S_FALSE);
    EXPECT_EQ(attributes, SFGAO_FILESYSTEM);
    testsupport::WriteFile(dir / "Bericht über März.txt", "x");
    EXPECT_EQ(item->GetAttributes(SFGAO_FILESYSTEM | SFGAO_STREAM, &attributes), S_OK);

    // Paths are normalised; relative ones name nothing.
    IdList odd(SHSimpleIDListFromPath(ToCString(dir.Path()) + u"//./sub/../Bericht über März.txt/"));
    EXPECT_TRUE(ILIsEqual(odd.p, list.p));
    EXPECT_EQ(SHSimpleIDListFromPath(u"relative/name.txt"), nullptr);
    EXPECT_EQ(SHSimpleIDListFromPath(u""), nullptr);
    EXPECT_EQ(SHSimpleIDListFromPath(nullptr), nullptr);
}

TEST(ShellItemTest, ParsingNeedsAnExistingItem)
{
    TempDir dir("parse");
    testsupport::WriteFile(dir / "a.txt", "a");
    PIDLIST_ABSOLUTE list = nullptr;
    SFGAOF attributes = 0;
    ASSERT_EQ(SHParseDisplayName(ToCString(dir / "a.txt"), nullptr, &list, SFGAO_FILESYSTEM | SFGAO_FOLDER,
                                 &attributes),
              S_OK);
    EXPECT_EQ(attributes, SFGAO_FILESYSTEM);
    ILFree(list);
    ASSERT_EQ(SHParseDisplayName(ToCString(dir.Path()), nullptr, &list, SFGAO_FOLDER, &attributes), S_OK);
    EXPECT_EQ(attributes, SFGAO_FOLDER);
    ILFree(list);

    list = reinterpret_cast<PIDLIST_ABSOLUTE>(1);
    EXPECT_EQ(SHParseDisplayName(ToCString(dir / "b.txt"), nullptr, &list, 0, nullptr), kFileNotFound);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(SHParseDisplayName(ToCString(dir / "none" / "b.txt"), nullptr, &list, 0, nullptr), kPathNotFound);
    EXPECT_EQ(SHParseDisplayName(u"a.txt", nullptr, &list, 0, nullptr), E_INVALIDARG);
    ComPtr<IShellItem> item;
    EXPECT_EQ(SHCreateItemFromParsingName(ToCString(dir / "b.txt"), nullptr, IID_PPV_ARGS(item.Put())),
              kFileNotFound);
    ASSERT_EQ(SHCreateItemFromParsingName(ToCString(dir / "a.txt"), nullptr, IID_PPV_ARGS(item.Put())), S_OK);
    EXPECT_EQ(Name(item.Get(), SIGDN_FILESYSPATH), ToCString(dir / "a.txt"));
}

TEST(ShellItemTest, IdListsThatWereNotMadeHereAreRefused)
{
    auto expectRefused = [](std::vector<BYTE> raw, const char* what) {
        auto list = reinterpret_cast<PCIDLIST_ABSOLUTE>(raw.data());
        ComPtr<IShellItem> item;
        EXPECT_EQ(SHCreateItemFromIDList(list, IID_PPV_ARGS(item.Put())), E_INVALIDARG) << what;
        EXPECT_EQ(item, nullptr);
        WCHAR buffer[MAX_PATH];
        EXPECT_FALSE(SHGetPathFromIDListW(list, buffer)) << what;
        ComPtr<IShellItemArray> array;
        EXPECT_EQ(SHCreateShellItemArrayFromIDLists(1, &list, array.Put()), E_INVALIDARG) << what;
    };
    expectRefused(RawList({NamedItem(u"home", "XY")}), "foreign signature");
    expectRefused(RawList({NamedItem(u"..")}), "a step up");
    expectRefused(RawList({NamedItem(u".")}), "a dot");
    expectRefused(RawList({NamedItem(u"a/b")}), "a separator inside a name");
    expectRefused(RawList({NamedItem(std::u16string_view(u"a\0b", 3))}), "a zero unit inside a name");
    expectRefused(RawList({NamedItem(u"")}), "an empty name");
    auto odd = NamedItem(u"ab");
    odd.pop_back();
    expectRefused(RawList({odd}), "half a UTF-16 unit");
    expectRefused(RawList({{0}}), "an item shorter than its header");
    ComPtr<IShellItem> item;
    EXPECT_EQ(SHCreateItemFromIDList(nullptr, IID_PPV_ARGS(item.Put())), E_INVALIDARG);

    // The empty list is the root folder.
    std::vector<BYTE> root = RawList({});
    ASSERT_EQ(SHCreateItemFromIDList(reinterpret_cast<PCIDLIST_ABSOLUTE>(root.data()), IID_PPV_ARGS(item.Put())), S_OK);
    EXPECT_EQ(Name(item.Get(), SIGDN_FILESYSPATH), u"/");
}

TEST(ShellItemTest, IdListCopiesSizesAndEquality)
{
    IdList a(SHSimpleIDListFromPath(u"/home/user/a.txt"));
    IdList b(SHSimpleIDListFromPath(u"/home/user/b.txt"));
    ASSERT_NE(a.p, nullptr);
    // Three items of header (4 bytes) and name, then the terminator.
    EXPECT_EQ(ILGetSize(a.p), (4u + 8u) + (4u + 8u) + (4u + 10u) + 2u);
    EXPECT_EQ(ILGetSize(nullptr), 0u);
    IdList copy(ILClone(a.p));
    ASSERT_NE(copy.p, nullptr);
    EXPECT_NE(copy.p, a.p);
    EXPECT_EQ(std::memcmp(copy.p, a.p, ILGetSize(a.p)), 0);
    EXPECT_TRUE(ILIsEqual(copy.p, a.p));
    EXPECT_FALSE(ILIsEqual(a.p, b.p));
    EXPECT_EQ(ILClone(nullptr), nullptr);
    ILFree(nullptr);

    ComPtr<IShellItem> item = ItemFor(u"/home/user/a.txt");
    PIDLIST_ABSOLUTE again = nullptr;
    ASSERT_EQ(SHGetIDListFromObject(item.Get(), &again), S_OK);
    EXPECT_TRUE(ILIsEqual(again, a.p));
    ILFree(again);
}

TEST(ShellItemTest, ParentsLeadToTheRootAndItemsCompareByPath)
{
    ComPtr<IShellItem> item = ItemFor(u"/home/user/a.txt");
    std::vector<CString> chain;
    ComPtr<IShellItem> current = item;
    for (;;) {
        ComPtr<IShellItem> parent;
        HRESULT hr = current->GetParent(parent.Put());
        if (hr != S_OK) {
            EXPECT_EQ(hr, MK_E_NOOBJECT);
            EXPECT_EQ(parent, nullptr);
            break;
        }
        chain.push_back(Name(parent.Get(), SIGDN_FILESYSPATH));
        current = parent;
    }
    EXPECT_EQ(chain, (std::vector<CString>{u"/home/user", u"/home", u"/"}));
    EXPECT_EQ(Name(current.Get(), SIGDN_NORMALDISPLAY), u"/");

    int order = 9;
    ComPtr<IShellItem> same = ItemFor(u"/home/user/./a.txt");
    EXPECT_EQ(item->Compare(same.Get(), SICHINT_CANONICAL, &order), S_OK);
    EXPECT_EQ(order, 0);
    ComPtr<IShellItem> other = ItemFor(u"/home/user/A.txt");
    EXPECT_EQ(item->Compare(other.Get(), SICHINT_CANONICAL, &order), S_FALSE) << "names differ in case here";
    EXPECT_EQ(order, 1);
    EXPECT_EQ(other->Compare(item.Get(), SICHINT_DISPLAY, &order), S_FALSE);
    EXPECT_EQ(order, -1);
    EXPECT_EQ(item->Compare(nullptr, SICHINT_DISPLAY, &order), E_INVALIDARG);
}

TEST(ShellItemTest, AttributesFollowTheFileSystem)
{
    TempDir dir("attrs");
    testsupport::WriteFile(dir / ".hidden", "h");
    testsupport::WriteFile(dir / "locked.txt", "l");
    platform::SetAttributes(ToCString(dir / "locked.txt"), FILE_ATTRIBUTE_READONLY);
    std::filesystem::create_directory_symlink(dir.Path(), dir / "link");

    SFGAOF attributes = 0;
    ComPtr<IShellItem> folder = ItemFor(ToCString(dir.Path()));
    EXPECT_EQ(folder->GetAttributes(SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_STREAM, &attributes), S_FALSE);
    EXPECT_EQ(attributes, SFGAO_FOLDER | SFGAO_FILESYSANCESTOR);
    ItemFor(ToCString(dir / ".hidden"))->GetAttributes(SFGAO_HIDDEN | SFGAO_READONLY, &attributes);
    EXPECT_EQ(attributes, SFGAO_HIDDEN);
    ItemFor(ToCString(dir / "locked.txt"))->GetAttributes(SFGAO_HIDDEN | SFGAO_READONLY, &attributes);
    EXPECT_EQ(attributes, SFGAO_READONLY);
    EXPECT_EQ(ItemFor(ToCString(dir / "link"))->GetAttributes(SFGAO_LINK | SFGAO_FOLDER, &attributes), S_OK);
    EXPECT_EQ(folder->GetAttributes(SFGAO_FOLDER, nullptr), E_POINTER);
    platform::SetAttributes(ToCString(dir / "locked.txt"), 0);
}

TEST(ShellItemTest, ArraysKeepOrderAndEnumerate)
{
    TempDir dir("array");
    testsupport::WriteFile(dir / "b.txt", "b");
    std::vector<CString> paths{ToCString(dir / "b.txt"), ToCString(dir / "a.txt"), ToCString(dir.Path())};
    std::vector<PIDLIST_ABSOLUTE> lists;
    for (const CString& path : paths)
        lists.push_back(SHSimpleIDListFromPath(path));
    ComPtr<IShellItemArray> array;
    ASSERT_EQ(SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()), lists.data(), array.Put()), S_OK);
    for (PIDLIST_ABSOLUTE list : lists)
        ILFree(list); // the array keeps copies

    DWORD count = 0;
    ASSERT_EQ(array->GetCount(&count), S_OK);
    ASSERT_EQ(count, 3u);
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        ASSERT_EQ(array->GetItemAt(i, item.Put()), S_OK);
        EXPECT_EQ(Name(item.Get(), SIGDN_FILESYSPATH), paths[i]);
    }
    ComPtr<IShellItem> none;
    EXPECT_EQ(array->GetItemAt(3, none.Put()), E_INVALIDARG);
    EXPECT_EQ(none, nullptr);

    SFGAOF attributes = 0;
    EXPECT_EQ(array->GetAttributes(SIATTRIBFLAGS_AND, SFGAO_FILESYSTEM | SFGAO_STREAM, &attributes), S_FALSE);
    EXPECT_EQ(attributes, SFGAO_FILESYSTEM) << "only b.txt exists as a file";
    EXPECT_EQ(array->GetAttributes(SIATTRIBFLAGS_OR, SFGAO_STREAM | SFGAO_FOLDER, &attributes), S_OK);

    ComPtr<IEnumShellItems> items;
    ASSERT_EQ(array->EnumItems(items.Put()), S_OK);
    IShellItem* batch[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(items->Next(2, batch, nullptr), E_INVALIDARG) << "several items need a count";
    ASSERT_EQ(items->Next(2, batch, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(Name(batch[1], SIGDN_FILESYSPATH), paths[1]);
    batch[0]->Release();
    batch[1]->Release();
    ComPtr<IEnumShellItems> clone;
    ASSERT_EQ(items->Clone(clone.Put()), S_OK);
    ASSERT_EQ(items->Next(4, batch, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    batch[0]->Release();
    ASSERT_EQ(clone->Next(1, batch, nullptr), S_OK) << "a clone keeps its own position";
    EXPECT_EQ(Name(batch[0], SIGDN_FILESYSPATH), paths[2]);
    batch[0]->Release();
    EXPECT_EQ(items->Reset(), S_OK);
    EXPECT_EQ(items->Skip(2), S_OK);
    EXPECT_EQ(items->Skip(2), S_FALSE);

    EXPECT_EQ(SHCreateShellItemArrayFromIDLists(0, nullptr, array.Put()), E_INVALIDARG);
    ComPtr<IShellItem> single = ItemFor(paths[0]);
    ASSERT_EQ(SHCreateShellItemArrayFromShellItem(single.Get(), IID_PPV_ARGS(array.Put())), S_OK);
    ASSERT_EQ(array->GetCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

TEST(ShellItemTest, ItemsArraysAndEnumeratorsFollowTheQueryInterfaceRules)
{
    ComPtr<IShellItem> item = ItemFor(u"/tmp/x");
    testsupport::ExpectQueryInterfaceRules(item.Get(), {IID_IUnknown, IID_IShellItem},
                                           {IID_IShellItemArray, IID_IClassFactory});
    EXPECT_EQ(testsupport::CurrentRefCount(item.Get()), 1u);

    ComPtr<IShellItemArray> array;
    ASSERT_EQ(SHCreateShellItemArrayFromShellItem(item.Get(), IID_PPV_ARGS(array.Put())), S_OK);
    EXPECT_EQ(testsupport::CurrentRefCount(item.Get()), 2u) << "the array holds the item";
    testsupport::ExpectQueryInterfaceRules(array.Get(), {IID_IUnknown, IID_IShellItemArray},
                                           {IID_IShellItem, IID_IEnumShellItems});
    ComPtr<IEnumShellItems> items;
    ASSERT_EQ(array->EnumItems(items.Put()), S_OK);
    testsupport::ExpectQueryInterfaceRules(items.Get(), {IID_IUnknown, IID_IEnumShellItems}, {IID_IShellItemArray});
    array.Reset();
    items.Reset();
    EXPECT_EQ(testsupport::CurrentRefCount(item.Get()), 1u) << "and lets it go with the last reference";
}

// Shell items over file-system paths: item id lists, IShellItem,
// IShellItemArray and IEnumShellItems, and the functions that make and read
// them. Names, values, method order and signatures are those of Windows, so
// that a Windows build includes the system's own headers in place of this one.
//
// Here an absolute item id list names a file-system path: one item id per
// folder level below "/", the empty list is "/" itself. Lists and the strings
// the methods return are task memory (ILFree, CoTaskMemFree).
#pragma once

#include "platform/com/Com.h"

#if defined(_WIN32)
#include <shlobj.h>
#include <shobjidl.h>
#else

#include <cstdint>

// ---- item id lists ----------------------------------------------------------------------------

#pragma pack(push, 1)
struct SHITEMID {
    USHORT cb;    // size of this item id in bytes, cb itself included; 0 ends the list
    BYTE abID[1]; // cb - 2 bytes of data
};
struct ITEMIDLIST {
    SHITEMID mkid;
};
#pragma pack(pop)

using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;
using PCUIDLIST_ABSOLUTE = const ITEMIDLIST*;
using PIDLIST_RELATIVE = ITEMIDLIST*;
using PCUIDLIST_RELATIVE = const ITEMIDLIST*;
using PCIDLIST_ABSOLUTE_ARRAY = const PCIDLIST_ABSOLUTE*;
using PCUIDLIST_ABSOLUTE_ARRAY = const PCUIDLIST_ABSOLUTE*;

// ---- attributes, names, comparisons ----------------------------------------------------------

using SFGAOF = ULONG;
constexpr SFGAOF SFGAO_CANCOPY = 0x1;
constexpr SFGAOF SFGAO_CANMOVE = 0x2;
constexpr SFGAOF SFGAO_CANLINK = 0x4;
constexpr SFGAOF SFGAO_STORAGE = 0x8;
constexpr SFGAOF SFGAO_CANRENAME = 0x10;
constexpr SFGAOF SFGAO_CANDELETE = 0x20;
constexpr SFGAOF SFGAO_HASPROPSHEET = 0x40;
constexpr SFGAOF SFGAO_DROPTARGET = 0x100;
constexpr SFGAOF SFGAO_SYSTEM = 0x1000;
constexpr SFGAOF SFGAO_ENCRYPTED = 0x2000;
constexpr SFGAOF SFGAO_ISSLOW = 0x4000;
constexpr SFGAOF SFGAO_GHOSTED = 0x8000;
constexpr SFGAOF SFGAO_LINK = 0x10000;
constexpr SFGAOF SFGAO_SHARE = 0x20000;
constexpr SFGAOF SFGAO_READONLY = 0x40000;
constexpr SFGAOF SFGAO_HIDDEN = 0x80000;
constexpr SFGAOF SFGAO_NONENUMERATED = 0x100000;
constexpr SFGAOF SFGAO_NEWCONTENT = 0x200000;
constexpr SFGAOF SFGAO_STREAM = 0x400000;
constexpr SFGAOF SFGAO_STORAGEANCESTOR = 0x800000;
constexpr SFGAOF SFGAO_VALIDATE = 0x1000000;
constexpr SFGAOF SFGAO_REMOVABLE = 0x2000000;
constexpr SFGAOF SFGAO_COMPRESSED = 0x4000000;
constexpr SFGAOF SFGAO_BROWSABLE = 0x8000000;
constexpr SFGAOF SFGAO_FILESYSANCESTOR = 0x10000000;
constexpr SFGAOF SFGAO_FOLDER = 0x20000000;
constexpr SFGAOF SFGAO_FILESYSTEM = 0x40000000;
constexpr SFGAOF SFGAO_HASSUBFOLDER = 0x80000000;

// The forms of an item's name.
enum SIGDN : std::int32_t {
    SIGDN_NORMALDISPLAY = 0x0,
    SIGDN_PARENTRELATIVEPARSING = static_cast<std::int32_t>(0x80018001u),
    SIGDN_DESKTOPABSOLUTEPARSING = static_cast<std::int32_t>(0x80028000u),
    SIGDN_PARENTRELATIVEEDITING = static_cast<std::int32_t>(0x80031001u),
    SIGDN_DESKTOPABSOLUTEEDITING = static_cast<std::int32_t>(0x8004c000u),
    SIGDN_FILESYSPATH = static_cast<std::int32_t>(0x80058000u),
    SIGDN_URL = static_cast<std::int32_t>(0x80068000u),
    SIGDN_PARENTRELATIVEFORADDRESSBAR = static_cast<std::int32_t>(0x8007c001u),
    SIGDN_PARENTRELATIVE = static_cast<std::int32_t>(0x80080001u),
    SIGDN_PARENTRELATIVEFORUI = static_cast<std::int32_t>(0x80094001u),
};

using SICHINTF = DWORD;
constexpr SICHINTF SICHINT_DISPLAY = 0x0;
constexpr SICHINTF SICHINT_ALLFIELDS = 0x80000000;
constexpr SICHINTF SICHINT_CANONICAL = 0x10000000;
constexpr SICHINTF SICHINT_TEST_FILESYSPATH_IF_NOT_EQUAL = 0x20000000;

enum SIATTRIBFLAGS : DWORD {
    SIATTRIBFLAGS_AND = 0x1,
    SIATTRIBFLAGS_OR = 0x2,
    SIATTRIBFLAGS_APPCOMPAT = 0x3,
    SIATTRIBFLAGS_MASK = 0x3,
    SIATTRIBFLAGS_ALLITEMS = 0x4000,
};

enum GETPROPERTYSTOREFLAGS : DWORD {
    GPS_DEFAULT = 0x0,
    GPS_HANDLERPROPERTIESONLY = 0x1,
    GPS_READWRITE = 0x2,
};

using SHCONTF = DWORD;

struct PROPERTYKEY {
    GUID fmtid;
    DWORD pid;
};
using REFPROPERTYKEY = const PROPERTYKEY&;

// Interfaces the shell interfaces mention but this platform does not
// provide (binding contexts, the property system, file operations).
struct IBindCtx;
struct IPropertyStore;
struct IPropertyDescriptionList;
struct IFileOperationProgressSink;

// ---- interfaces -----------------------------------------------------------------------------

struct IShellItem : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx* pbc, REFGUID bhid, REFIID riid, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParent(IShellItem** ppsi) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN sigdnName, LPWSTR* ppszName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF sfgaoMask, SFGAOF* psfgaoAttribs) = 0;
    virtual HRESULT STDMETHODCALLTYPE Compare(IShellItem* psi, SICHINTF hint, int* piOrder) = 0;
};

struct IEnumShellItems : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IShellItem** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumShellItems** ppenum) = 0;
};

struct IShellItemArray : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx* pbc, REFGUID bhid, REFIID riid, void** ppvOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyStore(GETPROPERTYSTOREFLAGS flags, REFIID riid, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyDescriptionList(REFPROPERTYKEY keyType, REFIID riid, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributes(SIATTRIBFLAGS AttribFlags, SFGAOF sfgaoMask,
                                                    SFGAOF* psfgaoAttribs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(DWORD* pdwNumItems) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetItemAt(DWORD dwIndex, IShellItem** ppsi) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumItems(IEnumShellItems** ppenumShellItems) = 0;
};

constexpr IID IID_IShellItem{0x43826d1e, 0xe718, 0x42ee, {0xbc, 0x55, 0xa1, 0xe2, 0x61, 0xc3, 0x7b, 0xfe}};
constexpr IID IID_IEnumShellItems{0x70629033, 0xe363, 0x4a28, {0xa5, 0x67, 0x0d, 0xb7, 0x80, 0x06, 0xe6, 0xd7}};
constexpr IID IID_IShellItemArray{0xb63ea76d, 0x1f85, 0x456f, {0xa1, 0x9c, 0x48, 0x15, 0x9e, 0xfa, 0x85, 0x8b}};

// ---- functions ------------------------------------------------------------------------------

// The item id list of an existing absolute path ("." and ".." folded,
// doubled and trailing '/' ignored). *psfgaoOut (if given) receives the
// item's attributes among sfgaoIn. Errors: E_INVALIDARG (null or relative),
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) or (ERROR_PATH_NOT_FOUND) when the
// item or its folder does not exist.
STDAPI SHParseDisplayName(PCWSTR pszName, IBindCtx* pbc, PIDLIST_ABSOLUTE* ppidl, SFGAOF sfgaoIn,
                          SFGAOF* psfgaoOut);

// The item id list of an absolute path whose file need not exist; null for
// a relative or empty path. Pitfall: the caller frees it with ILFree.
STDAPI_(PIDLIST_ABSOLUTE) SHSimpleIDListFromPath(PCWSTR pszPath);

// A shell item for an item id list (the list is copied). E_INVALIDARG for a
// list that is not well formed.
STDAPI SHCreateItemFromIDList(PCIDLIST_ABSOLUTE pidl, REFIID riid, void** ppv);

// A shell item for an existing absolute path (errors as SHParseDisplayName).
STDAPI SHCreateItemFromParsingName(PCWSTR pszPath, IBindCtx* pbc, REFIID riid, void** ppv);

// The item id list of a shell item (or of any object that is one).
STDAPI SHGetIDListFromObject(IUnknown* punk, PIDLIST_ABSOLUTE* ppidl);

// An array of items made from cidl item id lists, in order (they are copied).
STDAPI SHCreateShellItemArrayFromIDLists(UINT cidl, PCIDLIST_ABSOLUTE_ARRAY rgpidl,
                                         IShellItemArray** ppsiItemArray);

// An array holding one item.
STDAPI SHCreateShellItemArrayFromShellItem(IShellItem* psi, REFIID riid, void** ppv);

// The path of an item id list into a buffer of MAX_PATH characters; FALSE
// when the list is not well formed or the path does not fit.
STDAPI_(BOOL) SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR pszPath);

// Item id list helpers: free (null accepted), copy, size in bytes with the
// terminator, and equality.
STDAPI_(void) ILFree(PIDLIST_RELATIVE pidl);
STDAPI_(PIDLIST_RELATIVE) ILClone(PCUIDLIST_RELATIVE pidl);
STDAPI_(UINT) ILGetSize(PCUIDLIST_RELATIVE pidl);
STDAPI_(BOOL) ILIsEqual(PCIDLIST_ABSOLUTE pidl1, PCIDLIST_ABSOLUTE pidl2);

#endif // !_WIN32

namespace platform {
template <> struct InterfaceId<IShellItem> { static const IID& Get() { return IID_IShellItem; } };
template <> struct InterfaceId<IEnumShellItems> { static const IID& Get() { return IID_IEnumShellItems; } };
template <> struct InterfaceId<IShellItemArray> { static const IID& Get() { return IID_IShellItemArray; } };
} // namespace platform

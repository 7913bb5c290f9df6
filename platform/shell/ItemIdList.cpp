#include "platform/shell/ItemIdList.h"

#include <cstring>
#include <vector>

#include "platform/FileSystem.h"

namespace platform {

namespace {

// Every item id made here starts with its size and this signature, then the
// name in UTF-16 units (no terminator).
constexpr BYTE kSignature[2] = {'F', 'S'};
constexpr size_t kHeader = sizeof(USHORT) + sizeof(kSignature);

USHORT ReadSize(const BYTE* at)
{
    USHORT cb = 0;
    std::memcpy(&cb, at, sizeof cb);
    return cb;
}

} // namespace

CString CItemIdList::NormalPath(const CString& path)
{
    if (path.IsEmpty() || path[0] != u'/')
        return CString();
    CString full = FullPath(path);
    while (full.GetLength() > 1 && full[full.GetLength() - 1] == u'/')
        full = full.Left(full.GetLength() - 1);
    return full;
}

PIDLIST_ABSOLUTE CItemIdList::FromPath(const CString& normalPath)
{
    std::vector<CString> names;
    int pos = 1;
    while (pos < normalPath.GetLength()) {
        int slash = normalPath.Find(u'/', pos);
        int end = slash < 0 ? normalPath.GetLength() : slash;
        if (end > pos)
            names.push_back(normalPath.Mid(pos, end - pos));
        pos = end + 1;
    }
    size_t total = sizeof(USHORT);
    for (const CString& name : names) {
        size_t cb = kHeader + static_cast<size_t>(name.GetLength()) * sizeof(char16_t);
        if (cb > 0xFFFF)
            return nullptr;
        total += cb;
    }
    auto* list = static_cast<BYTE*>(CoTaskMemAlloc(total));
    if (!list)
        return nullptr;
    BYTE* at = list;
    for (const CString& name : names) {
        auto cb = static_cast<USHORT>(kHeader + static_cast<size_t>(name.GetLength()) * sizeof(char16_t));
        std::memcpy(at, &cb, sizeof cb);
        std::memcpy(at + sizeof cb, kSignature, sizeof kSignature);
        std::memcpy(at + kHeader, name.GetString(), cb - kHeader);
        at += cb;
    }
    const USHORT end = 0;
    std::memcpy(at, &end, sizeof end);
    return reinterpret_cast<PIDLIST_ABSOLUTE>(list);
}

bool CItemIdList::ToPath(PCIDLIST_ABSOLUTE list, CString& path)
{
    if (!list)
        return false;
    const auto* at = reinterpret_cast<const BYTE*>(list);
    CString result;
    for (USHORT cb = ReadSize(at); cb != 0; at += cb, cb = ReadSize(at)) {
        if (cb < kHeader + sizeof(char16_t) || (cb - kHeader) % sizeof(char16_t) != 0 ||
            std::memcmp(at + sizeof cb, kSignature, sizeof kSignature) != 0)
            return false;
        std::u16string name((cb - kHeader) / sizeof(char16_t), u'\0');
        std::memcpy(name.data(), at + kHeader, cb - kHeader);
        if (name == u"." || name == u".." || name.find_first_of(std::u16string_view(u"/\0", 2)) != std::u16string::npos)
            return false;
        result += u'/';
        result += CString(std::move(name));
    }
    path = result.IsEmpty() ? CString(u"/") : result;
    return true;
}

UINT CItemIdList::Size(PCUIDLIST_RELATIVE list)
{
    if (!list)
        return 0;
    const auto* at = reinterpret_cast<const BYTE*>(list);
    UINT size = 0;
    for (USHORT cb = ReadSize(at); cb != 0; cb = ReadSize(at + size))
        size += cb;
    return size + sizeof(USHORT);
}

PIDLIST_RELATIVE CItemIdList::Clone(PCUIDLIST_RELATIVE list)
{
    if (!list)
        return nullptr;
    UINT size = Size(list);
    void* copy = CoTaskMemAlloc(size);
    if (copy)
        std::memcpy(copy, list, size);
    return static_cast<PIDLIST_RELATIVE>(copy);
}

} // namespace platform

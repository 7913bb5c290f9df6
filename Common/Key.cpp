#include "Key.h"

ULONGLONG ParseUInt64(const CString& text, int base, int* end)
{
    int i = 0, n = text.GetLength();
    while (i < n && CString::IsSpaceChar(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if ((base == 0 || base == 16) && i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        auto isHex = [](char16_t c) {
            return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        };
        if (i + 2 < n && isHex(text[i + 2])) {
            i += 2;
            base = 16;
        }
    }
    if (base == 0)
        base = (i < n && text[i] == u'0') ? 8 : 10;
    int digitsStart = i;
    ULONGLONG value = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        char16_t c = text[i];
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'a' && c <= u'z')
            d = c - u'a' + 10;
        else if (c >= u'A' && c <= u'Z')
            d = c - u'A' + 10;
        else
            break;
        if (d >= base)
            break;
        if (value > (~0ULL - static_cast<ULONGLONG>(d)) / static_cast<ULONGLONG>(base))
            overflow = true;
        else
            value = value * static_cast<ULONGLONG>(base) + static_cast<ULONGLONG>(d);
    }
    if (i == digitsStart) {
        if (end)
            *end = 0; // no digits: nothing was consumed
        return 0;
    }
    if (end)
        *end = i;
    if (overflow)
        return ~0ULL;
    return negative ? (~value + 1) : value;
}

CKey::CKey() = default;

CKey::CKey(ULONGLONG keyId) : m_keyId(keyId) {}

CKey::CKey(const CString& userId, const CString& keyIdHex)
{
    int end = 0;
    ULONGLONG id = ParseUInt64(keyIdHex, 16, &end);
    if (end == keyIdHex.GetLength() && !keyIdHex.IsEmpty()) {
        m_keyId = id;
        m_userId = userId;
    }
}

CKey::CKey(const CString& userId, const CString& mail, ULONGLONG keyId)
    : m_userId(userId), m_mail(mail), m_keyId(keyId)
{
}

CString CKey::GetUserIDWithoutMail() const
{
    CString result = m_userId;
    int open = result.Find(u'<');
    int close = result.Find(u'>');
    if (open >= 1 && close > open)
        result.Delete(open, close - open + 1);
    result.Trim();
    return result;
}

CString CKey::GetShortKeyIDString() const
{
    CString s;
    s.Format(u"%08X", GetShortKeyID());
    return s;
}

CString CKey::GetLongKeyIDString() const
{
    CString s;
    s.Format(u"%016llX", m_keyId);
    return s;
}

void CKey::SetSubKeys(const CArrayEx<ULONGLONG, const ULONGLONG&>& subKeys)
{
    m_subKeys.Copy(subKeys);
}

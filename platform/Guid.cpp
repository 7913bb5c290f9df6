#include "platform/Guid.h"

namespace platform {

namespace {

int HexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

CString GuidToString(REFGUID guid)
{
    CString text;
    text.Format(u"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2, guid.Data3,
                guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
    return text;
}

bool GuidFromString(const CString& text, GUID& guid)
{
    CString body = text;
    if (body.GetLength() == 38 && body[0] == u'{' && body[37] == u'}')
        body = body.Mid(1, 36);
    if (body.GetLength() != 36)
        return false;
    BYTE bytes[16];
    int n = 0;
    for (int i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (body[i] != u'-')
                return false;
            ++i;
            continue;
        }
        int hi = HexValue(body[i]), lo = HexValue(body[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes[n++] = static_cast<BYTE>(hi * 16 + lo);
        i += 2;
    }
    guid = GuidFromBytes(bytes);
    return true;
}

void GuidToBytes(REFGUID guid, BYTE bytes[16])
{
    bytes[0] = static_cast<BYTE>(guid.Data1 >> 24);
    bytes[1] = static_cast<BYTE>(guid.Data1 >> 16);
    bytes[2] = static_cast<BYTE>(guid.Data1 >> 8);
    bytes[3] = static_cast<BYTE>(guid.Data1);
    bytes[4] = static_cast<BYTE>(guid.Data2 >> 8);
    bytes[5] = static_cast<BYTE>(guid.Data2);
    bytes[6] = static_cast<BYTE>(guid.Data3 >> 8);
    bytes[7] = static_cast<BYTE>(guid.Data3);
    for (int i = 0; i < 8; ++i)
        bytes[8 + i] = guid.Data4[i];
}

GUID GuidFromBytes(const BYTE bytes[16])
{
    GUID guid{};
    guid.Data1 = (static_cast<DWORD>(bytes[0]) << 24) | (static_cast<DWORD>(bytes[1]) << 16) |
                 (static_cast<DWORD>(bytes[2]) << 8) | bytes[3];
    guid.Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = bytes[8 + i];
    return guid;
}

} // namespace platform

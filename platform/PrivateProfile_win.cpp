// The private-profile functions are kernel32's own; this file adds only the
// rules of our contract (names that would break the file are refused,
// values are quoted so that reading gives them back) and keeps new files in
// UTF-16, the one Unicode form kernel32 writes.
#include "platform/PrivateProfile.h"

#include <vector>

#include "platform/PrivateProfile_p.h"
#include "platform/Win32_win.h"

using namespace platform::profile;

namespace {

// Creates a missing file as empty UTF-16LE text (just its byte-order mark):
// kernel32 then writes Unicode into it instead of the ANSI code page.
void CreateUnicodeFile(const CString& path)
{
    HANDLE file = ::CreateFileW(platform::win::W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return; // it exists (or can't be made: the write reports that)
    const BYTE bom[] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(file, bom, sizeof bom, &written, nullptr);
    ::CloseHandle(file);
}

} // namespace

DWORD GetPrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                               CString& out, const CString& path)
{
    using platform::win::W;
    // A list (null section or key) ends in two zeros and is cut two units
    // short of the buffer; a value one unit short.
    const DWORD reserve = (!section || !key) ? 2 : 1;
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        DWORD n = ::GetPrivateProfileStringW(W(section), W(key), W(defaultValue ? defaultValue : u""), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), W(path));
        if (n + reserve < buffer.size() || buffer.size() >= (1u << 24)) {
            out = platform::win::FromW(buffer.data(), n);
            return n;
        }
        buffer.resize(buffer.size() * 4);
    }
}

BOOL WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const CString& path)
{
    using platform::win::W;
    if (!section)
        return !key && !value;
    if (!ValidSection(section) || (key && !ValidKey(key)) || (value && HasLineBreak(value)) || path.IsEmpty())
        return FALSE;
    if (key && value)
        CreateUnicodeFile(path);
    std::u16string quoted = value ? QuoteIfNeeded(value) : std::u16string();
    return ::WritePrivateProfileStringW(W(section), W(key), value ? W(quoted.c_str()) : nullptr, W(path)) ? TRUE
                                                                                                          : FALSE;
}

#include "GnuPGVersionRecord.h"

#include <string>
#include <vector>

#include "Log.h"
#include "platform/Registry.h"

const char16_t* const CGnuPGVersionRecord::kKeyPath = u"Software\\Orvelin\\veilcase\\Cache";
const char16_t* const CGnuPGVersionRecord::kValueName = u"GnuPGVersion";

namespace {

// The format tag that starts every record; a record of another format is
// ignored (and replaced at the next check).
const char16_t* const kFormatTag = u"1";
constexpr char16_t kSeparator = u'|';
// A path and six numbers fit easily; anything longer is not ours.
constexpr DWORD ciMaxRecordBytes = 8192;

CString Number(ULONGLONG value)
{
    return CString::FromUtf8(std::to_string(value));
}

CString Number(LONGLONG value)
{
    return CString::FromUtf8(std::to_string(value));
}

// Decimal digits only (at most 20 of them), no sign, no leading zero except
// "0" itself; false on overflow.
bool ParseUnsigned(std::u16string_view text, ULONGLONG& value)
{
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == u'0'))
        return false;
    ULONGLONG result = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return false;
        ULONGLONG digit = static_cast<ULONGLONG>(c - u'0');
        if (result > (~0ULL - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

// As ParseUnsigned, with an optional leading '-' (never "-0").
bool ParseSigned(std::u16string_view text, LONGLONG& value)
{
    bool negative = !text.empty() && text[0] == u'-';
    if (negative)
        text.remove_prefix(1);
    ULONGLONG magnitude = 0;
    if (!ParseUnsigned(text, magnitude))
        return false;
    constexpr ULONGLONG maxPositive = 0x7FFFFFFFFFFFFFFFULL;
    if (negative) {
        if (magnitude == 0 || magnitude > maxPositive + 1)
            return false;
        value = magnitude == maxPositive + 1 ? static_cast<LONGLONG>(-static_cast<LONGLONG>(maxPositive) - 1)
                                             : -static_cast<LONGLONG>(magnitude);
        return true;
    }
    if (magnitude > maxPositive)
        return false;
    value = static_cast<LONGLONG>(magnitude);
    return true;
}

} // namespace

CString CGnuPGVersionRecord::Format(const CString& resolvedPath, const platform::SFileIdentity& identity)
{
    CString text = kFormatTag;
    for (const CString& field : {Number(identity.volume), Number(identity.fileId), Number(identity.size),
                                 Number(identity.modified), Number(identity.changed)}) {
        text += kSeparator;
        text += field;
    }
    // The path goes last: it may hold the separator itself.
    text += kSeparator;
    text += resolvedPath;
    return text;
}

bool CGnuPGVersionRecord::Parse(const CString& text, CString& resolvedPath, platform::SFileIdentity& identity)
{
    std::u16string_view rest = text.View();
    std::vector<std::u16string_view> fields;
    for (int i = 0; i < 6; ++i) {
        size_t separator = rest.find(kSeparator);
        if (separator == std::u16string_view::npos)
            return false;
        fields.push_back(rest.substr(0, separator));
        rest.remove_prefix(separator + 1);
    }
    if (fields[0] != std::u16string_view(kFormatTag) || rest.empty())
        return false;
    // Only a full path of a file, without control characters, names a program.
    for (char16_t c : rest)
        if (c < 0x20)
            return false;
    platform::SFileIdentity read;
    if (!ParseUnsigned(fields[1], read.volume) || !ParseUnsigned(fields[2], read.fileId) ||
        !ParseUnsigned(fields[3], read.size) || !ParseSigned(fields[4], read.modified) ||
        !ParseSigned(fields[5], read.changed))
        return false;
    read.regularFile = true; // only programs that are ordinary files are recorded
    resolvedPath = CString(rest);
    identity = read;
    return true;
}

bool CGnuPGVersionRecord::IsRecorded(const CString& resolvedPath, const platform::SFileIdentity& identity)
{
    if (resolvedPath.IsEmpty() || !identity.regularFile)
        return false;
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    std::vector<char16_t> buffer(ciMaxRecordBytes / sizeof(char16_t) + 1, u'\0');
    DWORD type = REG_NONE;
    DWORD bytes = ciMaxRecordBytes;
    LSTATUS status = platform::RegQueryValueExW(key, kValueName, nullptr, &type,
                                                reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    platform::RegCloseKey(key);
    // A proper string: of its type, whole UTF-16 units, its terminator last
    // and nowhere before.
    if (status != ERROR_SUCCESS || type != REG_SZ || bytes < sizeof(char16_t) || bytes % sizeof(char16_t) != 0)
        return false;
    size_t units = bytes / sizeof(char16_t) - 1;
    if (buffer[units] != u'\0' || std::char_traits<char16_t>::find(buffer.data(), units, u'\0') != nullptr)
        return false;
    CString text(buffer.data(), static_cast<int>(units));
    CString recordedPath;
    platform::SFileIdentity recorded;
    if (!Parse(text, recordedPath, recorded))
        return false;
    return recordedPath == resolvedPath && recorded == identity;
}

void CGnuPGVersionRecord::Record(const CString& resolvedPath, const platform::SFileIdentity& identity)
{
    if (resolvedPath.IsEmpty() || !identity.regularFile)
        return;
    CString text = Format(resolvedPath, identity);
    DWORD bytes = static_cast<DWORD>((text.GetLength() + 1) * sizeof(char16_t));
    if (bytes > ciMaxRecordBytes)
        return; // it could not be read back
    HKEY key = nullptr;
    LSTATUS status = platform::RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = platform::RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.GetString()),
                                          bytes);
        platform::RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS)
        WriteLog(eLogError, u"Cannot record the checked GnuPG version of <%s> - error code %u",
                 resolvedPath.GetString(), static_cast<unsigned>(status));
}

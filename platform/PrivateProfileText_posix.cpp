#include "platform/PrivateProfile.h"
#include "platform/PrivateProfile_posix.h"
#include "platform/PrivateProfile_p.h"

#include <optional>
#include <vector>

using namespace platform::profile;

namespace {

// A file's text as lines. Each line keeps the bytes it was read from, so
// lines that are not edited are written back exactly as they were.
struct SProfileLine {
    std::u16string text;             // without its line terminator
    std::optional<std::string> raw;  // original bytes including the terminator
    bool terminated = true;          // whether raw ends with a line terminator
};

struct SProfileText {
    bool utf16 = false;              // UTF-16LE with BOM, else UTF-8
    std::string bom;                 // BOM bytes found at the start
    std::u16string newline = u"\n";  // terminator for lines we add
    std::vector<SProfileLine> lines;
};

std::u16string DecodeUtf16Le(std::string_view bytes)
{
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

std::string EncodeUtf16Le(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

SProfileText ParseProfile(const std::string& content)
{
    SProfileText file;
    std::string_view bytes(content);
    size_t pos = 0;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        file.utf16 = true;
        file.bom = std::string(bytes.substr(0, 2));
        pos = 2;
        // A stray byte after the last whole code unit is no text: reading
        // ignores it and a write leaves it out, so what follows stays
        // aligned (the system's profile functions read the file the same
        // way and write it anew).
        if (bytes.size() % 2 != 0)
            bytes.remove_suffix(1);
    } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        file.bom = std::string(bytes.substr(0, 3));
        pos = 3;
    }
    const size_t unit = file.utf16 ? 2 : 1;
    bool newlineKnown = false;
    while (pos < bytes.size()) {
        size_t end = pos;
        while (end + unit <= bytes.size() && !(bytes[end] == '\n' && (unit == 1 || bytes[end + 1] == '\0')))
            end += unit;
        bool terminated = end + unit <= bytes.size();
        size_t next = terminated ? end + unit : bytes.size();
        SProfileLine line;
        line.raw = std::string(bytes.substr(pos, next - pos));
        line.terminated = terminated;
        std::string_view body(bytes.data() + pos, (terminated ? end : bytes.size()) - pos);
        line.text = file.utf16 ? DecodeUtf16Le(body) : CString::FromUtf8(body).Str();
        bool crlf = !line.text.empty() && line.text.back() == u'\r';
        if (crlf)
            line.text.pop_back();
        if (terminated && !newlineKnown) {
            file.newline = crlf ? u"\r\n" : u"\n";
            newlineKnown = true;
        }
        file.lines.push_back(std::move(line));
        pos = next;
    }
    return file;
}

std::string EncodeText(const SProfileText& file, std::u16string_view text)
{
    return file.utf16 ? EncodeUtf16Le(text) : CString(text).ToUtf8();
}

std::string SerializeProfile(const SProfileText& file)
{
    std::string bytes = file.bom;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const SProfileLine& line = file.lines[i];
        if (line.raw) {
            bytes += *line.raw;
            // A last line without terminator gets one once lines follow it.
            if (!line.terminated && i + 1 < file.lines.size())
                bytes += EncodeText(file, file.newline);
        } else {
            bytes += EncodeText(file, line.text + file.newline);
        }
    }
    return bytes;
}

bool SameName(std::u16string_view a, std::u16string_view b)
{
    return CString(a).EqualsNoCase(b);
}

// The section name of a "[name]" line; nothing for other lines.
std::optional<std::u16string_view> SectionOf(const std::u16string& text)
{
    std::u16string_view t = Trim(text);
    if (t.empty() || t.front() != u'[')
        return std::nullopt;
    t.remove_prefix(1);
    size_t close = t.find(u']');
    return Trim(t.substr(0, close));
}

// The key and raw value of a "key=value" line; nothing for comments and
// other lines.
std::optional<std::pair<std::u16string_view, std::u16string_view>> EntryOf(const std::u16string& text)
{
    std::u16string_view t = Trim(text);
    if (t.empty() || t.front() == u';' || t.front() == u'[')
        return std::nullopt;
    size_t eq = t.find(u'=');
    if (eq == std::u16string_view::npos)
        return std::nullopt;
    return std::make_pair(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
}

std::u16string Unquote(std::u16string_view value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::u16string(value);
}

// Index range [begin, end) of the lines that belong to each section with
// this name (its header excluded), in file order.
std::vector<std::pair<size_t, size_t>> SectionRanges(const SProfileText& file, std::u16string_view section)
{
    std::vector<std::pair<size_t, size_t>> ranges;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        auto name = SectionOf(file.lines[i].text);
        if (!name || !SameName(*name, section))
            continue;
        size_t end = i + 1;
        while (end < file.lines.size() && !SectionOf(file.lines[end].text))
            ++end;
        ranges.emplace_back(i + 1, end);
        i = end - 1;
    }
    return ranges;
}

// Applies one write to the parsed file; returns whether anything changed.
bool EditProfile(SProfileText& file, std::u16string_view section, const char16_t* key, const char16_t* value)
{
    auto ranges = SectionRanges(file, section);
    if (!key) {
        if (ranges.empty())
            return false;
        for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
            file.lines.erase(file.lines.begin() + static_cast<long>(it->first - 1),
                             file.lines.begin() + static_cast<long>(it->second));
        return true;
    }
    std::u16string_view keyName = Trim(key);
    if (!value) {
        bool changed = false;
        for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
            for (size_t i = it->second; i-- > it->first;) {
                auto entry = EntryOf(file.lines[i].text);
                if (entry && SameName(entry->first, keyName)) {
                    file.lines.erase(file.lines.begin() + static_cast<long>(i));
                    changed = true;
                }
            }
        return changed;
    }
    std::u16string written = QuoteIfNeeded(value);
    // Only the first section of the name counts, as for reading; a later
    // section of the same name is never looked at.
    if (!ranges.empty())
        for (size_t i = ranges.front().first; i < ranges.front().second; ++i) {
            auto entry = EntryOf(file.lines[i].text);
            if (entry && SameName(entry->first, keyName)) {
                std::u16string line = std::u16string(entry->first) + u"=" + written;
                if (file.lines[i].text == line)
                    return false;
                file.lines[i] = SProfileLine{line, std::nullopt, true};
                return true;
            }
        }
    SProfileLine entryLine{std::u16string(keyName) + u"=" + written, std::nullopt, true};
    if (!ranges.empty()) {
        // After the section's last non-blank line, so blank lines that
        // separate it from the next section stay where they are.
        auto [begin, end] = ranges.front();
        size_t at = end;
        while (at > begin && Trim(file.lines[at - 1].text).empty())
            --at;
        file.lines.insert(file.lines.begin() + static_cast<long>(at), std::move(entryLine));
        return true;
    }
    file.lines.push_back(SProfileLine{u"[" + std::u16string(Trim(section)) + u"]", std::nullopt, true});
    file.lines.push_back(std::move(entryLine));
    return true;
}

} // namespace

DWORD GetPrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                               CString& out, const CString& path)
{
    CString fallback(defaultValue);
    fallback.TrimRight(u" \t");
    std::string bytes;
    if (!platform::ReadProfileFile(path, bytes)) {
        out = section && key ? fallback : CString();
        return static_cast<DWORD>(out.GetLength());
    }
    SProfileText file = ParseProfile(bytes);

    std::u16string result;
    if (!section) {
        for (const SProfileLine& line : file.lines)
            if (auto name = SectionOf(line.text))
                result += std::u16string(*name) + u'\0';
        out = CString(result);
        return static_cast<DWORD>(out.GetLength());
    }
    auto ranges = SectionRanges(file, Trim(section));
    if (!key) {
        for (auto [begin, end] : ranges)
            for (size_t i = begin; i < end; ++i)
                if (auto entry = EntryOf(file.lines[i].text))
                    result += std::u16string(entry->first) + u'\0';
        out = CString(result);
        return static_cast<DWORD>(out.GetLength());
    }
    if (!ranges.empty()) {
        auto [begin, end] = ranges.front();
        for (size_t i = begin; i < end; ++i) {
            auto entry = EntryOf(file.lines[i].text);
            if (entry && SameName(entry->first, Trim(key))) {
                out = CString(Unquote(entry->second));
                return static_cast<DWORD>(out.GetLength());
            }
        }
    }
    out = fallback;
    return static_cast<DWORD>(out.GetLength());
}

BOOL WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const CString& path)
{
    if (!section)
        return !key && !value; // nothing to write: no cache to flush here
    if (!ValidSection(section) || (key && !ValidKey(key)) || (value && HasLineBreak(value)) || path.IsEmpty())
        return FALSE;
    bool ok = platform::RewriteProfileFile(path, [&](std::string& bytes, bool exists) {
        if (!exists && (!key || !value))
            return false; // deleting from a file that does not exist
        SProfileText file = ParseProfile(bytes);
        if (!EditProfile(file, Trim(section), key, value))
            return false;
        bytes = SerializeProfile(file);
        return true;
    });
    return ok ? TRUE : FALSE;
}

// The pure readers of CEncryptionGnuPG: colon key listings, packet listings
// and the version banner. Nothing here runs gpg, so all of it can be fed
// text directly.
#include "EncryptionGnuPG.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Directory.h"

namespace {

// One line of a listing, without its "\n" and without a "\r" before it.
struct SLine {
    int start;
    int length;
};

std::vector<SLine> SplitLines(const CString& text)
{
    std::vector<SLine> lines;
    const std::u16string& s = text.Str();
    size_t pos = 0;
    while (pos < s.size()) {
        size_t nl = s.find(u'\n', pos);
        size_t end = nl == std::u16string::npos ? s.size() : nl;
        size_t stop = end;
        if (stop > pos && s[stop - 1] == u'\r')
            --stop;
        lines.push_back({static_cast<int>(pos), static_cast<int>(stop - pos)});
        if (nl == std::u16string::npos)
            break;
        pos = nl + 1;
    }
    return lines;
}

std::u16string_view LineView(const CString& text, const SLine& line)
{
    return text.View().substr(static_cast<size_t>(line.start), static_cast<size_t>(line.length));
}

// Field `field` (from 1) of a colon record held in one line.
CString Field(std::u16string_view record, int field)
{
    size_t pos = 0;
    for (int passed = 0; passed < field - 1; ++passed) {
        size_t colon = record.find(u':', pos);
        if (colon == std::u16string_view::npos)
            return CString();
        pos = colon + 1;
    }
    size_t end = record.find(u':', pos);
    if (end == std::u16string_view::npos)
        end = record.size();
    return CString(record.substr(pos, end - pos));
}

std::u16string_view RecordType(std::u16string_view record)
{
    return record.substr(0, record.find(u':'));
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

// Decodes the "\xHH" escapes GnuPG writes for bytes it must not print as
// they are (the colon in user ids, non-ASCII bytes in packet listings); the
// bytes together are UTF-8.
CString DecodeHexEscapes(const CString& text)
{
    std::string in = text.ToUtf8();
    if (in.find("\\x") == std::string::npos)
        return text;
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x' && IsHexDigit(in[i + 2]) &&
            IsHexDigit(in[i + 3])) {
            out += static_cast<char>(HexValue(in[i + 2]) * 16 + HexValue(in[i + 3]));
            i += 4;
        } else {
            out += in[i++];
        }
    }
    return CString::FromUtf8(out);
}

// Bytes of the UTF-8 form of the character at `i` (a surrogate pair
// counts once, at its first unit); `units` gets how many units it spans.
size_t Utf8Size(const CString& text, int i, int& units)
{
    char16_t c = text[i];
    units = 1;
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.GetLength() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        units = 2;
        return 4;
    }
    return 3;
}

// The leading characters of `text` whose UTF-8 form fits in `budget` bytes.
CString LeftByUtf8Size(const CString& text, size_t budget)
{
    size_t used = 0;
    int i = 0;
    while (i < text.GetLength()) {
        int units = 1;
        size_t size = Utf8Size(text, i, units);
        if (used + size > budget)
            break;
        used += size;
        i += units;
    }
    return text.Left(i);
}

// A name in the file system holds at most 255 bytes, and the side file
// beside a plain copy appends ".veilcase" to its name. A longer name keeps
// its extension and loses the end of the part before it.
CString FitFileNameToFileSystem(const CString& name)
{
    constexpr size_t ciMaxNameBytes = 255 - 9;
    if (name.ToUtf8().size() <= ciMaxNameBytes)
        return name;
    int dot = name.ReverseFind(u'.');
    CString extension = dot > 0 ? name.Mid(dot) : CString();
    size_t extensionBytes = extension.ToUtf8().size();
    if (extensionBytes > ciMaxNameBytes / 2) {
        extension.Empty();
        extensionBytes = 0;
    }
    CString stem = name.Left(name.GetLength() - extension.GetLength());
    return LeftByUtf8Size(stem, ciMaxNameBytes - extensionBytes) + extension;
}

// Replaces what a bare file name must not hold and refuses names that would
// mean a folder.
CString MakeSafeFileName(CString name)
{
    constexpr int ciMaxNameLength = 512;
    if (name.GetLength() > ciMaxNameLength) {
        int cut = ciMaxNameLength;
        char16_t last = name[cut - 1];
        if (last >= 0xD800 && last <= 0xDBFF)
            --cut; // never split a surrogate pair
        name = name.Left(cut);
    }
    for (int i = 0; i < name.GetLength(); ++i) {
        char16_t c = name[i];
        if (c < 0x20 || c == 0x7F || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'/' || c == u'\\' ||
            c == u'|' || c == u'?' || c == u'*')
            name.SetAt(i, u'_');
    }
    name = FitFileNameToFileSystem(name);
    if (name.IsEmpty() || name == u"." || name == u"..")
        return CString();
    return name;
}

// The mail address inside a user id: the text between "<" and the next ">".
CString MailOfUserId(const CString& userId)
{
    int open = userId.Find(u" <");
    if (open >= 0)
        open += 2;
    else if ((open = userId.Find(u'<')) >= 0)
        open += 1;
    else
        return CString();
    int close = userId.Find(u'>', open);
    if (close < 0)
        return CString();
    return userId.Mid(open, close - open);
}

bool ExtractKeyFromLines(const CString& text, const SLine* lines, size_t count, CKey& key)
{
    key = CKey();
    if (count == 0)
        return false;
    std::u16string_view first = LineView(text, lines[0]);
    for (size_t i = 1; i < count; ++i) {
        std::u16string_view record = LineView(text, lines[i]);
        if (RecordType(record) == u"uid") {
            CString userId = DecodeHexEscapes(Field(record, 10));
            key = CKey(userId, MailOfUserId(userId), ParseUInt64(Field(first, 5), 16));
            break;
        }
    }
    CString validity = Field(first, 2);
    key.SetExpired(validity == u"e");
    key.SetRevoked(validity == u"r");
    key.SetEnabled(Field(first, 12).Find(u'D') < 0);

    CArrayEx<ULONGLONG, const ULONGLONG&> subKeys;
    for (size_t i = 1; i < count; ++i) {
        std::u16string_view record = LineView(text, lines[i]);
        if (RecordType(record) == u"sub")
            subKeys.Add(ParseUInt64(Field(record, 5), 16));
    }
    key.SetSubKeys(subKeys);
    return key.IsValid();
}

} // namespace

CString CEncryptionGnuPG::GetFieldValue(const CString& text, int start, int field)
{
    int length = text.GetLength();
    if (start < 0 || start > length || field < 1)
        return CString();
    int pos = start;
    for (int passed = 0; passed < field - 1; ++passed) {
        int colon = text.Find(u':', pos);
        if (colon < 0)
            return CString();
        pos = colon + 1;
    }
    int end = text.Find(u':', pos);
    if (end < 0)
        end = length;
    return text.Mid(pos, end - pos);
}

int CEncryptionGnuPG::LastIndexOf(const CString& text, const CString& what)
{
    if (what.IsEmpty())
        return -1;
    size_t pos = text.View().rfind(what.View());
    return pos == std::u16string_view::npos ? -1 : static_cast<int>(pos);
}

bool CEncryptionGnuPG::ExtractKey(const CString& block, CKey& key)
{
    std::vector<SLine> lines = SplitLines(block);
    return ExtractKeyFromLines(block, lines.data(), lines.size(), key);
}

CArrayEx<CKey, const CKey&> CEncryptionGnuPG::ParseListKeysOutput(const CString& output, int secret)
{
    const std::u16string_view marker = secret ? u"sec" : u"pub";
    CArrayEx<CKey, const CKey&> keys;
    std::vector<SLine> lines = SplitLines(output);
    size_t blockStart = lines.size(); // no block yet: records before the first key are dropped
    auto finishBlock = [&](size_t end) {
        if (blockStart >= end)
            return;
        CKey key;
        if (ExtractKeyFromLines(output, lines.data() + blockStart, end - blockStart, key))
            keys.Add(key);
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        if (RecordType(LineView(output, lines[i])) == marker) {
            finishBlock(i);
            blockStart = i;
        }
    }
    finishBlock(lines.size());
    return keys;
}

CArrayEx<ULONGLONG, const ULONGLONG&> CEncryptionGnuPG::ParseRecipientKeyIds(const CString& packetListing)
{
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
    for (const SLine& line : SplitLines(packetListing)) {
        std::u16string_view text = LineView(packetListing, line);
        size_t packet = text.find(u":pubkey");
        if (packet == std::u16string_view::npos)
            continue;
        size_t keyId = text.find(u"keyid ", packet);
        if (keyId == std::u16string_view::npos)
            continue;
        ids.Add(ParseUInt64(CString(text.substr(keyId + 6)), 16));
    }
    return ids;
}

void CEncryptionGnuPG::ResolvePrimaryKeyIds(const CString& colonListing, CArrayEx<ULONGLONG, const ULONGLONG&>& ids)
{
    if (ids.IsEmpty())
        return;
    // Every primary key and subkey id of the listing to its primary key id;
    // the first block that names an id wins.
    std::unordered_map<ULONGLONG, ULONGLONG> primaryOf;
    ULONGLONG primary = 0;
    bool inKey = false;
    for (const SLine& line : SplitLines(colonListing)) {
        std::u16string_view record = LineView(colonListing, line);
        std::u16string_view type = RecordType(record);
        if (type == u"pub") {
            primary = ParseUInt64(Field(record, 5), 16);
            inKey = true;
            primaryOf.emplace(primary, primary);
        } else if (type == u"sub" && inKey) {
            primaryOf.emplace(ParseUInt64(Field(record, 5), 16), primary);
        }
    }
    for (int i = 0; i < ids.GetSize(); ++i) {
        auto it = primaryOf.find(ids[i]);
        if (it != primaryOf.end())
            ids[i] = it->second;
    }
}

void CEncryptionGnuPG::MarkKeysWithSecret(const CString& colonListing, CArrayEx<CKey, const CKey&>& keys)
{
    std::unordered_set<ULONGLONG> withSecret;
    ULONGLONG primary = 0;
    bool inKey = false;
    for (const SLine& line : SplitLines(colonListing)) {
        std::u16string_view record = LineView(colonListing, line);
        std::u16string_view type = RecordType(record);
        if (type == u"pub") {
            primary = ParseUInt64(Field(record, 5), 16);
            inKey = true;
        } else if (type != u"sub" || !inKey) {
            continue;
        }
        if (!Field(record, 15).IsEmpty())
            withSecret.insert(primary);
    }
    if (withSecret.empty())
        return;
    for (int i = 0; i < keys.GetSize(); ++i)
        if (withSecret.count(keys[i].GetLongKeyID()))
            keys[i].SetPrivatePart(true);
}

SLiteralDataInfo CEncryptionGnuPG::ParseLiteralData(const CString& packetListing)
{
    SLiteralDataInfo info;
    const std::u16string_view text = packetListing.View();
    size_t packet = text.find(u":literal data packet:");
    if (packet == std::u16string_view::npos)
        return info;
    info.found = true;
    // The packet's own lines: up to the next packet header (a line starting
    // with ':' or '#'), so nothing of a later packet is taken for it.
    size_t end = text.size();
    for (size_t nl = text.find(u'\n', packet); nl != std::u16string_view::npos; nl = text.find(u'\n', nl + 1)) {
        if (nl + 1 < text.size() && (text[nl + 1] == u':' || text[nl + 1] == u'#')) {
            end = nl;
            break;
        }
    }
    std::u16string_view body = text.substr(packet, end - packet);

    size_t created = body.find(u"created ");
    if (created != std::u16string_view::npos) {
        size_t comma = body.find(u',', created);
        if (comma != std::u16string_view::npos) {
            CString number(body.substr(created + 8, comma - created - 8));
            int used = 0;
            ULONGLONG seconds = ParseUInt64(number, 0, &used);
            if (used > 0) {
                info.hasCreated = true;
                info.created = static_cast<LONGLONG>(seconds);
            }
        }
    }
    size_t name = body.find(u"name=\"");
    if (name != std::u16string_view::npos) {
        // gpg escapes line breaks in the name but writes a double quote as
        // it is, so the name ends at the last quote of its line.
        std::u16string_view line = body.substr(name + 6);
        line = line.substr(0, line.find(u'\n'));
        size_t quote = line.rfind(u'"');
        if (quote != std::u16string_view::npos)
            info.rawName = CString(line.substr(0, quote));
    }
    return info;
}

CString CEncryptionGnuPG::DecodeLiteralName(const CString& rawName)
{
    if (rawName.IsEmpty())
        return CString();
    return MakeSafeFileName(DecodeHexEscapes(rawName));
}

CString CEncryptionGnuPG::DecodeStatusName(std::string_view escapedName)
{
    std::string bytes;
    bytes.reserve(escapedName.size());
    for (size_t i = 0; i < escapedName.size();) {
        if (escapedName[i] == '%' && i + 2 < escapedName.size() && IsHexDigit(escapedName[i + 1]) &&
            IsHexDigit(escapedName[i + 2])) {
            bytes += static_cast<char>(HexValue(escapedName[i + 1]) * 16 + HexValue(escapedName[i + 2]));
            i += 3;
        } else {
            bytes += escapedName[i++];
        }
    }
    if (bytes.empty())
        return CString();
    return MakeSafeFileName(CString::FromUtf8(bytes));
}

CString CEncryptionGnuPG::FallbackPlainName(const CString& encryptedPath)
{
    CString name = CDirectory::SplitFileNameAndExtensionFromPath(encryptedPath);
    CString extension = name.Right(4);
    if (name.GetLength() >= 5 && (extension.EqualsNoCase(u".gpg") || extension == u".pgp"))
        name = name.Left(name.GetLength() - 4);
    else
        return CString();
    return MakeSafeFileName(name);
}

int CEncryptionGnuPG::IsSupportedVersionBanner(const CString& banner)
{
    int marker = banner.Find(u"(GnuPG)");
    if (marker < 0)
        return 0;
    int version = marker + 8;
    if (version >= banner.GetLength())
        return 0;
    return banner[version] >= u'2' ? 1 : 0;
}

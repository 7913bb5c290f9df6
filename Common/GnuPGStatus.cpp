#include "GnuPGStatus.h"

#include "resources/resource.h"

namespace {

// GnuPG error codes (the low 16 bits of a status error value) that mean the
// passphrase was wrong, cancelled at the prompt, or not given.
constexpr unsigned long ciErrBadPassphrase = 11;
constexpr unsigned long ciErrCanceled = 99;
constexpr unsigned long ciErrNoPassphrase = 177;

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

bool IsPassphraseErrorStatusLine(std::u16string_view line)
{
    constexpr std::u16string_view prefix = u"[GNUPG:] ERROR ";
    if (line.substr(0, prefix.size()) != prefix)
        return false;
    line.remove_prefix(prefix.size());
    size_t blank = line.find(u' ');
    if (blank == 0 || blank == std::u16string_view::npos)
        return false; // no location, or no code after it
    line.remove_prefix(blank + 1);
    if (line.empty() || !IsDigit(line.front()))
        return false;
    // Only the low 16 bits matter, so overflow of the whole value is harmless
    // as long as it is computed modulo 2^16.
    unsigned long low = 0;
    size_t i = 0;
    for (; i < line.size() && IsDigit(line[i]); ++i)
        low = (low * 10 + static_cast<unsigned long>(line[i] - u'0')) & 0xFFFFu;
    if (i < line.size() && line[i] != u' ' && line[i] != u'\r')
        return false;
    return low == ciErrBadPassphrase || low == ciErrCanceled || low == ciErrNoPassphrase;
}

namespace {

bool HasPassphraseErrorLine(const CString& text)
{
    std::u16string_view all = text.View();
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(u'\n', start);
        if (end == std::u16string_view::npos)
            end = all.size();
        if (IsPassphraseErrorStatusLine(all.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

UINT GnuPGStatusMessageId(const CString& statusText)
{
    if (statusText.Find(u"BAD_PASSPHRASE") >= 0 || statusText.Find(u"MISSING_PASSPHRASE") >= 0 ||
        statusText.Find(u"CANCELED_BY_USER") >= 0 || HasPassphraseErrorLine(statusText))
        return IDS_ERR_BAD_PASSPHRASE;
    if (statusText.Find(u"DECRYPTION_FAILED") >= 0 && statusText.Find(u"NO_SECKEY") >= 0)
        return IDS_ERR_NO_SECRET_KEY;
    return IDS_ERR_UNKNOWN_GNUPG;
}

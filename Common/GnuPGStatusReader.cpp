#include "GnuPGStatusReader.h"

#include <vector>

#include "GnuPGStatus.h"
#include "resources/resource.h"

namespace {

constexpr std::string_view kPrefix = "[GNUPG:] ";

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The blank-separated words of the arguments.
std::vector<std::string_view> SplitArguments(std::string_view text)
{
    std::vector<std::string_view> words;
    while (!text.empty()) {
        size_t blank = text.find(' ');
        std::string_view word = text.substr(0, blank);
        if (!word.empty())
            words.push_back(word);
        if (blank == std::string_view::npos)
            break;
        text.remove_prefix(blank + 1);
    }
    return words;
}

// A key id of 1 to 16 hexadecimal digits; false for anything else.
bool ParseKeyId(std::string_view text, ULONGLONG& id)
{
    if (text.empty() || text.size() > 16)
        return false;
    ULONGLONG value = 0;
    for (char c : text) {
        if (!IsHexDigit(c))
            return false;
        int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * 16 + static_cast<ULONGLONG>(digit);
    }
    id = value;
    return true;
}

// Seconds since 1970 written in decimal, at most 18 digits so that the value
// fits; false for anything else.
bool ParseTimeStamp(std::string_view text, LONGLONG& seconds)
{
    if (text.empty() || text.size() > 18)
        return false;
    LONGLONG value = 0;
    for (char c : text) {
        if (!IsDecimalDigit(c))
            return false;
        value = value * 10 + (c - '0');
    }
    seconds = value;
    return true;
}

void ReadPlaintext(const std::vector<std::string_view>& arguments, SGnuPGStatus& status)
{
    if (status.plaintext)
        return; // only the first literal data of a message is its content
    status.plaintext = true;
    // <format> <timestamp> [<name>]; the format is a hexadecimal byte.
    if (arguments.size() < 2 || arguments[0].size() > 2 || !IsHexDigit(arguments[0][0]) ||
        (arguments[0].size() == 2 && !IsHexDigit(arguments[0][1])))
        return;
    status.hasPlaintextTime = ParseTimeStamp(arguments[1], status.plaintextTime);
    if (!status.hasPlaintextTime)
        status.plaintextTime = 0;
    if (arguments.size() >= 3)
        status.plaintextName.assign(arguments[2]);
}

} // namespace

void CGnuPGStatusReader::ReadLine(std::string_view line, SGnuPGStatus& status)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.substr(0, kPrefix.size()) != kPrefix)
        return;
    std::string_view rest = line.substr(kPrefix.size());
    size_t blank = rest.find(' ');
    std::string_view keyword = rest.substr(0, blank);
    std::string_view argumentText = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);

    if (keyword == "ENC_TO") {
        std::vector<std::string_view> arguments = SplitArguments(argumentText);
        ULONGLONG id = 0;
        if (!arguments.empty() && ParseKeyId(arguments[0], id))
            status.recipients.Add(id);
    } else if (keyword == "BEGIN_DECRYPTION") {
        status.beginDecryption = true;
    } else if (keyword == "PLAINTEXT") {
        ReadPlaintext(SplitArguments(argumentText), status);
    } else if (keyword == "DECRYPTION_OKAY") {
        status.decryptionOkay = true;
    } else if (keyword == "DECRYPTION_FAILED") {
        status.decryptionFailed = true;
    } else if (keyword == "NO_SECKEY") {
        status.noSecretKey = true;
    } else if (keyword == "BAD_PASSPHRASE" || keyword == "MISSING_PASSPHRASE" || keyword == "CANCELED_BY_USER") {
        status.passphraseRefused = true;
    } else if (keyword == "ERROR") {
        if (IsPassphraseErrorStatusLine(CString::FromUtf8(line).View()))
            status.passphraseRefused = true;
    }
}

bool CGnuPGStatusReader::Feed(std::string_view bytes)
{
    if (m_overLimit)
        return false;
    if (bytes.size() > m_maxBytes - m_received) {
        // Nothing past the limit is read, and a line it cuts is no line.
        bytes = bytes.substr(0, m_maxBytes - m_received);
        m_overLimit = true;
    }
    m_received += bytes.size();
    while (!bytes.empty()) {
        size_t newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            if (!m_overLimit)
                m_partial.append(bytes);
            break;
        }
        if (m_partial.empty()) {
            ReadLine(bytes.substr(0, newline), m_status);
        } else {
            m_partial.append(bytes.substr(0, newline));
            ReadLine(m_partial, m_status);
            m_partial.clear();
        }
        bytes.remove_prefix(newline + 1);
    }
    if (m_overLimit)
        m_partial.clear();
    return !m_overLimit;
}

void CGnuPGStatusReader::Finish()
{
    if (!m_partial.empty() && !m_overLimit)
        ReadLine(m_partial, m_status);
    m_partial.clear();
}

UINT CGnuPGStatusReader::FailureMessageId() const
{
    if (m_status.passphraseRefused)
        return IDS_ERR_BAD_PASSPHRASE;
    if (m_status.decryptionFailed && m_status.noSecretKey)
        return IDS_ERR_NO_SECRET_KEY;
    return IDS_ERR_UNKNOWN_GNUPG;
}

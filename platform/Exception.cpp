#include "platform/Exception.h"

#include <cstring>

#include "platform/SystemError.h"

namespace {

bool CopyText(const CString& text, char16_t* buffer, unsigned maxChars)
{
    if (!buffer || maxChars == 0)
        return false;
    unsigned n = static_cast<unsigned>(text.GetLength());
    if (n > maxChars - 1)
        n = maxChars - 1;
    std::memcpy(buffer, text.GetString(), n * sizeof(char16_t));
    buffer[n] = 0;
    return true;
}

} // namespace

bool CException::GetErrorMessage(char16_t* buffer, unsigned maxChars, unsigned* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    if (buffer && maxChars)
        buffer[0] = 0;
    return false;
}

bool CFileException::GetErrorMessage(char16_t* buffer, unsigned maxChars, unsigned* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    CString text;
    CString reason = platform::SystemErrorText(m_osError);
    if (reason.IsEmpty())
        reason.Format(u"error %u", static_cast<unsigned>(m_osError));
    text.Format(u"%s: %s", m_fileName.GetString(), reason.GetString());
    return CopyText(text, buffer, maxChars);
}

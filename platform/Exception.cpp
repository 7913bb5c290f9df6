#include "Exception.h"

#include <cstring>

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
    text.Format(u"%s: %S", m_fileName.GetString(), std::strerror(m_osError));
    return CopyText(text, buffer, maxChars);
}

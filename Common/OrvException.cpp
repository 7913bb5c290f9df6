#include "OrvException.h"

#include <cstring>

#include "CallStack.h"
#include "Log.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "platform/SystemError.h"

namespace {

constexpr UINT kShowDetailsId = 1000;
constexpr UINT kErrorDetailsId = 1001;
constexpr UINT kFileId = 1002;
constexpr UINT kLineId = 1003;
constexpr int kMaxBoxText = 1023;
constexpr int kLocationBuffer = 512;

// A string of the table, or `fallback` when the table has none (the
// resource module missing must not leave a box without its question).
CString TableString(UINT id, const char16_t* fallback)
{
    CString text;
    if (platform::LoadResourceString(id, text))
        return text;
    return CString(fallback);
}

// Copies `text` into `buffer`, cut to size - 1 units and terminated.
bool CopyToBuffer(const CString& text, char16_t* buffer, unsigned size)
{
    if (!buffer || size == 0)
        return false;
    unsigned n = static_cast<unsigned>(text.GetLength());
    if (n > size - 1)
        n = size - 1;
    std::memcpy(buffer, text.GetString(), n * sizeof(char16_t));
    buffer[n] = 0;
    return true;
}

// The part of a source name after its last folder separator (either kind:
// source names are written with backslashes).
CString FileNameOf(const char* sourceFile)
{
    CString path = CString::FromUtf8(sourceFile);
    int slash = path.ReverseFind(u'/');
    int backslash = path.ReverseFind(u'\\');
    return path.Mid((slash > backslash ? slash : backslash) + 1);
}

// Replaces the percent sign of the first "%1" ... "%9" each by a 'P', so
// that message inserts read as text in the log.
void MarkMessageInserts(CString& report)
{
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        const char16_t insert[3] = {u'%', digit, 0};
        int pos = report.Find(insert);
        if (pos >= 0)
            report.SetAt(pos, u'P');
    }
}

} // namespace

COrvException::COrvException(UINT messageId, const CString& details, const char* sourceFile, UINT line,
                             EDisplayMode mode)
    : m_uMessageId(messageId), m_strDetails(details), m_uLine(line), m_pszSourceFile(sourceFile), m_eDisplayMode(mode)
{
    WriteExceptionToLogFile(messageId);
}

COrvException::COrvException(UINT messageId, const char* sourceFile, UINT line, EDisplayMode mode)
    : COrvException(messageId, CString(), sourceFile, line, mode)
{
}

COrvException::COrvException(const COrvException& other)
    : CException(other), m_uMessageId(other.m_uMessageId), m_strDetails(other.m_strDetails), m_uLine(other.m_uLine),
      m_pszSourceFile(other.m_pszSourceFile), m_eDisplayMode(other.m_eDisplayMode)
{
}

COrvException& COrvException::operator=(const COrvException& other)
{
    if (this != &other) {
        CException::operator=(other);
        m_uMessageId = other.m_uMessageId;
        m_strDetails = other.m_strDetails;
        m_uLine = other.m_uLine;
        m_pszSourceFile = other.m_pszSourceFile;
        m_eDisplayMode = other.m_eDisplayMode;
    }
    return *this;
}

void COrvException::WriteExceptionToLogFile(UINT messageId) const
{
    try {
        CString messageText;
        if (messageId != ciNoMessageId && !platform::LoadResourceString(messageId, messageText))
            messageText.Empty();
        CCallStack stack;
        CString report;
        report.Format(u"Filename: %S \r\nLine: %d \r\nStringID: %d\r\nMessageText: %s\r\n%s",
                      m_pszSourceFile ? m_pszSourceFile : "", static_cast<int>(m_uLine), static_cast<int>(messageId),
                      messageText.GetString(), stack.ToString().GetString());
        MarkMessageInserts(report);
        WriteLogText(eLogError, report);
    } catch (...) {
        // The error being reported matters more than its log entry.
    }
}

COrvException* COrvException::Clone() const
{
    return new COrvException(*this);
}

CString COrvException::GetMessageText() const
{
    if (m_uMessageId == ciNoMessageId)
        return CString(u"No Message Text");
    CString text;
    if (!platform::LoadResourceString(m_uMessageId, text))
        return CString(u"Unknown Message ID");
    return text;
}

BOOL COrvException::GetMessageText(char16_t* buffer, UINT size) const
{
    CopyToBuffer(GetMessageText(), buffer, size);
    return TRUE;
}

CString COrvException::GetMessageDetails() const
{
    return m_strDetails;
}

CString COrvException::GetErrorMessageWithoutDebugInfo() const
{
    CString text = GetMessageText();
    if (!m_strDetails.IsEmpty())
        text += u"\n" + m_strDetails;
    return text;
}

bool COrvException::GetErrorMessage(char16_t* buffer, unsigned maxChars, unsigned* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    CString text = GetErrorMessageWithoutDebugInfo();
    if (m_pszSourceFile)
        text.AppendFormat(u"\n%s @ %u", CString::FromUtf8(m_pszSourceFile).GetString(), m_uLine);
    return CopyToBuffer(text, buffer, maxChars);
}

void COrvException::Display() const
{
    switch (m_eDisplayMode) {
    case eDisplayError:
    case eDisplayWarning:
    case eDisplayInfo: {
        const UINT icon = m_eDisplayMode == eDisplayError     ? MB_ICONERROR
                          : m_eDisplayMode == eDisplayWarning ? MB_ICONWARNING
                                                              : MB_ICONINFORMATION;
        CString text = GetMessageText();
        if (!m_strDetails.IsEmpty())
            text += u"\n" + m_strDetails;
        AfxMessageBox(text, MB_OK | icon);
        return;
    }
    case eDisplayNone:
        return;
    default:
        break;
    }
    if (m_strDetails.IsEmpty()) {
        AfxMessageBox(GetMessageText().Left(kMaxBoxText), MB_OK | MB_ICONERROR);
        return;
    }
    CString question = GetMessageText() + u"\n\n" + TableString(kShowDetailsId, u"Show Details");
    if (AfxMessageBox(question, MB_YESNO | MB_ICONERROR | MB_DEFBUTTON2) == IDYES)
        AfxMessageBox(TableString(kErrorDetailsId, u"Error Details") + u"\n" + m_strDetails, MB_OK | MB_ICONWARNING);
}

void COrvException::DisplayUnhandledException(UINT messageId, const char* sourceFile, UINT line)
{
    CString message;
    if (!platform::LoadResourceString(messageId, message))
        message.Empty();
    CString question = message + u"\n\n" + TableString(kShowDetailsId, u"Show Details");
    if (AfxMessageBox(question, MB_YESNO | MB_ICONERROR | MB_DEFBUTTON2) != IDYES)
        return;
    CString details = TableString(kErrorDetailsId, u"Error Details");
    if (sourceFile) {
        CString location;
        location.Format(u"%s%s\n%s%u", TableString(kFileId, u"File").GetString(), FileNameOf(sourceFile).GetString(),
                        TableString(kLineId, u"Line").GetString(), line);
        details += u"\n" + location.Left(kLocationBuffer - 1);
    }
    AfxMessageBox(details, MB_OK | MB_ICONWARNING);
}

CString COrvException::GetLastErrorMessage(DWORD errorCode)
{
    return platform::SystemErrorText(errorCode);
}

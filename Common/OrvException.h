// COrvException: the error object of the system. It carries a message id of
// the string table, an optional detail text, the source location of the
// throw and how Display() shows it; creating one (except by copying) writes
// a report with a stack trace to the log.
#pragma once

#include "platform/CString.h"
#include "platform/Exception.h"
#include "platform/WinTypes.h"

// How COrvException::Display shows an error. Any value outside the list is
// shown as eDisplayDetails.
enum EDisplayMode : int {
    eDisplayDetails = 0, // message with "Show Details" question; details on request
    eDisplayError = 1,   // one box, error icon
    eDisplayWarning = 2, // one box, warning icon
    eDisplayInfo = 3,    // one box, information icon
    eDisplayNone = 4,    // nothing is shown
};

class COrvException : public CException {
public:
    // Message id meaning "no message".
    static constexpr UINT ciNoMessageId = 0xFFFFFFFFu;

    // Both constructors store everything and write the report to the log.
    // `sourceFile` must outlive the object (a string literal does).
    COrvException(UINT messageId, const CString& details, const char* sourceFile, UINT line,
                  EDisplayMode mode = eDisplayDetails);
    COrvException(UINT messageId, const char* sourceFile, UINT line, EDisplayMode mode = eDisplayDetails);
    // Copies write no log report.
    COrvException(const COrvException& other);
    COrvException& operator=(const COrvException& other);
    ~COrvException() override = default;

    // The text of GetErrorMessageWithoutDebugInfo(), then "\n<source> @ <line>"
    // when a source file is set, cut to maxChars - 1 units; *helpContext = 0.
    // Returns false only when there is no buffer to write to.
    bool GetErrorMessage(char16_t* buffer, unsigned maxChars, unsigned* helpContext = nullptr) const override;
    // A new heap copy (no log report); null for a null object.
    virtual COrvException* Clone() const;
    // The string of the message id; "Unknown Message ID" when the string
    // table has none, "No Message Text" for ciNoMessageId.
    virtual CString GetMessageText() const;
    // GetMessageText() copied into `buffer`, cut to size - 1 units.
    BOOL GetMessageText(char16_t* buffer, UINT size) const;
    virtual CString GetMessageDetails() const;
    // The message text, then "\n" and the details when there are any.
    CString GetErrorMessageWithoutDebugInfo() const;
    // Shows the error by its display mode through AfxMessageBox.
    virtual void Display() const;

    UINT GetMessageId() const { return m_uMessageId; }
    UINT GetLine() const { return m_uLine; }
    const char* GetSourceFile() const { return m_pszSourceFile; }
    EDisplayMode GetDisplayMode() const { return m_eDisplayMode; }

    // Shows an error nobody anticipated: the message with "Show Details", and
    // on Yes the location. Creates no error object and logs nothing.
    static void DisplayUnhandledException(UINT messageId, const char* sourceFile, UINT line);
    // The system's text for an error code (a Windows code, as the platform
    // layer reports them); empty when the system has none.
    static CString GetLastErrorMessage(DWORD errorCode);

private:
    void WriteExceptionToLogFile(UINT messageId) const;

    UINT m_uMessageId;
    CString m_strDetails;
    UINT m_uLine;
    const char* m_pszSourceFile;
    EDisplayMode m_eDisplayMode;
};

// The framework's exception objects. Errors are thrown as pointers to heap
// objects; whoever catches one calls Delete() when done with it.
#pragma once

#include "platform/CString.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

class CException {
public:
    explicit CException(bool autoDelete = true) : m_bAutoDelete(autoDelete) {}
    virtual ~CException() = default;
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;

    // Frees a heap-allocated exception (objects made with autoDelete false
    // are left alone).
    void Delete()
    {
        if (m_bAutoDelete)
            delete this;
    }
    // Copies the error text into `buffer` (at most maxChars - 1 units and a
    // terminator); returns false when the exception has no text.
    virtual bool GetErrorMessage(char16_t* buffer, unsigned maxChars, unsigned* helpContext = nullptr) const;

    bool m_bAutoDelete;
};

// An abandoned operation whose cause was already reported (or needs none).
class CUserException : public CException {
public:
    CUserException() = default;
    explicit CUserException(CString diagnostic) : m_diagnostic(std::move(diagnostic)) {}
    // The diagnostic text formed where the operation gave up (may be empty).
    const CString& GetDiagnostic() const { return m_diagnostic; }

private:
    CString m_diagnostic;
};

// A file could not be opened, read or written.
class CFileException : public CException {
public:
    CFileException(DWORD osError, CString fileName) : m_osError(osError), m_fileName(std::move(fileName)) {}
    bool GetErrorMessage(char16_t* buffer, unsigned maxChars, unsigned* helpContext = nullptr) const override;

    DWORD m_osError;    // Windows error code of the failure (SystemError.h)
    CString m_fileName; // the file concerned
};

#include "app/editor/TextDocument.h"

#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/SystemError.h"
#include "platform/TempFile.h"

CString CTextDocument::Name() const
{
    if (m_path.IsEmpty())
        return u"Untitled";
    return m_path.Mid(m_path.ReverseFind(u'/') + 1);
}

void CTextDocument::SetText(const CString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    m_modified = true;
}

DWORD CTextDocument::Load(const CString& path, CString& why)
{
    ULONGLONG size = 0;
    if (!platform::QueryFileSize(path, size)) {
        DWORD error = platform::LastFileError();
        why = platform::SystemErrorText(error);
        return error;
    }
    if (size > kMaxBytes) {
        why = u"The file is too large for this editor.";
        return ERROR_FILE_TOO_LARGE;
    }
    std::string bytes;
    DWORD error = platform::ReadFileStart(path, kMaxBytes + 1, bytes);
    if (error != ERROR_SUCCESS) {
        why = platform::SystemErrorText(error);
        return error;
    }
    // Only text that comes back byte for byte is shown: a zero byte or
    // invalid UTF-8 would be changed by saving.
    CString text = CString::FromUtf8(bytes);
    if (bytes.find('\0') != std::string::npos || text.ToUtf8() != bytes) {
        why = u"The file is not UTF-8 text.";
        return ERROR_INVALID_DATA;
    }
    m_crlf = bytes.find("\r\n") != std::string::npos;
    if (m_crlf)
        text.Replace(u"\r\n", u"\n");
    m_path = path;
    m_text = text;
    m_modified = false;
    return ERROR_SUCCESS;
}

DWORD CTextDocument::SaveAs(const CString& path)
{
    CString text = m_text;
    if (m_crlf)
        text.Replace(u"\n", u"\r\n");
    const std::string bytes = text.ToUtf8();

    int slash = path.ReverseFind(u'/');
    CString folder = slash <= 0 ? CString(u"/") : path.Left(slash);
    CString temporary;
    DWORD error = platform::CreatePrivateTempFile(folder, u".textedit-", temporary);
    if (error != ERROR_SUCCESS)
        return error;
    {
        std::ofstream out(std::filesystem::path(temporary.Str()), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out)
            error = ERROR_WRITE_FAULT;
    }
    if (error == ERROR_SUCCESS)
        error = platform::MoveOverFile(temporary, path);
    if (error != ERROR_SUCCESS) {
        platform::DeleteTempFile(temporary);
        return error;
    }
    m_path = path;
    m_modified = false;
    return ERROR_SUCCESS;
}

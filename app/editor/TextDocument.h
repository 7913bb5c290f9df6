// One document of the text editor: the path it was opened from or saved to
// (empty while untitled), its text, its line endings and whether it changed.
// Files are UTF-8 text; anything else is refused rather than shown mangled,
// so that saving can never lose what the file held.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

class CTextDocument {
public:
    // Reads a file. Returns ERROR_SUCCESS, or an error code with `why` set:
    // the system's reason, or that the file is no UTF-8 text or too large.
    DWORD Load(const CString& path, CString& why);
    // Writes the text to `path` in one step (a reader sees the old or the new
    // file, never a part) and takes `path` as the document's path. Returns
    // ERROR_SUCCESS or the error code; the file is then as it was.
    DWORD SaveAs(const CString& path);

    const CString& Path() const { return m_path; }
    // The file name, or "Untitled".
    CString Name() const;
    // The text with "\n" line breaks, as the editor shows it.
    const CString& Text() const { return m_text; }
    void SetText(const CString& text);
    bool IsModified() const { return m_modified; }

    // Files larger than this are not opened.
    static constexpr unsigned kMaxBytes = 16u << 20;

private:
    CString m_path;
    CString m_text;
    bool m_crlf = false; // the file had "\r\n" line breaks, and gets them back
    bool m_modified = false;
};

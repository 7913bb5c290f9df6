// CFilterSpecList: an owned copy of an application's file-type table in
// which every pattern also appears with ".gpg" appended, so that encrypted
// files are listed under whichever type the user picks.
#pragma once

#include <vector>

#include "platform/CString.h"
#include "platform/shell/FileDialogApi.h"

class CFilterSpecList {
public:
    // Copies `count` entries of `specs`: names unchanged, pattern lists
    // through AddEncryptedPatterns. A null entry text reads as empty.
    CFilterSpecList(UINT count, const COMDLG_FILTERSPEC* specs);
    CFilterSpecList(const CFilterSpecList&) = delete;
    CFilterSpecList& operator=(const CFilterSpecList&) = delete;

    UINT GetCount() const { return static_cast<UINT>(m_specs.size()); }
    // The table in the layout SetFileTypes takes; valid while this object lives.
    const COMDLG_FILTERSPEC* GetSpecs() const { return m_specs.empty() ? nullptr : m_specs.data(); }

    // "*.doc;*.docx" becomes "*.doc;*.doc.gpg;*.docx;*.docx.gpg". The list is
    // cut at each ';' that follows at least one character of an item; a ';'
    // at the start of the rest makes the whole rest one item (so
    // "*.txt;;*.log" gives "*.txt;*.txt.gpg;;*.log;;*.log.gpg"). Blanks stay
    // where they are; an empty list stays empty.
    static CString AddEncryptedPatterns(const CString& patterns);

private:
    std::vector<CString> m_names;
    std::vector<CString> m_patterns;
    std::vector<COMDLG_FILTERSPEC> m_specs;
};

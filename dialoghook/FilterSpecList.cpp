#include "dialoghook/FilterSpecList.h"

CFilterSpecList::CFilterSpecList(UINT count, const COMDLG_FILTERSPEC* specs)
{
    if (!specs)
        count = 0;
    m_names.reserve(count);
    m_patterns.reserve(count);
    for (UINT i = 0; i < count; ++i) {
        m_names.emplace_back(specs[i].pszName);
        m_patterns.push_back(AddEncryptedPatterns(CString(specs[i].pszSpec)));
    }
    // The strings are complete before any pointer into them is taken.
    m_specs.reserve(count);
    for (UINT i = 0; i < count; ++i)
        m_specs.push_back(COMDLG_FILTERSPEC{m_names[i].GetString(), m_patterns[i].GetString()});
}

CString CFilterSpecList::AddEncryptedPatterns(const CString& patterns)
{
    CString result;
    CString rest = patterns;
    while (!rest.IsEmpty()) {
        CString item;
        const int separator = rest.Find(u';');
        if (separator >= 1) {
            item = rest.Left(separator);
            rest = rest.Mid(separator + 1);
        } else {
            item = rest;
            rest.Empty();
        }
        if (!result.IsEmpty())
            result += u';';
        result += item;
        result += u';';
        result += item;
        result += u".gpg";
    }
    return result;
}

#include "platform/shell/dialog/FileTypes.h"

#include "platform/FileSystem.h"

namespace platform {

std::vector<CString> CFileTypes::SplitPatterns(const CString& spec)
{
    std::vector<CString> patterns;
    int pos = 0;
    while (pos >= 0) {
        CString pattern = spec.Tokenize(u";", pos);
        pattern.Trim();
        if (!pattern.IsEmpty())
            patterns.push_back(pattern);
    }
    return patterns;
}

bool CFileTypes::HasWildcard(const CString& text)
{
    return text.FindOneOf(u"*?") >= 0;
}

CString CFileTypes::PatternExtension(const CString& pattern)
{
    if (pattern.GetLength() < 3 || pattern.Left(2) != u"*.")
        return CString();
    CString extension = pattern.Mid(2);
    if (HasWildcard(extension) || extension.Find(u'.') >= 0)
        return CString();
    return extension;
}

HRESULT CFileTypes::Set(UINT count, const COMDLG_FILTERSPEC* specs)
{
    if (!m_types.empty())
        return E_UNEXPECTED;
    if (count == 0 || !specs)
        return E_INVALIDARG;
    std::vector<SType> types;
    for (UINT i = 0; i < count; ++i) {
        if (!specs[i].pszName || !specs[i].pszSpec)
            return E_INVALIDARG;
        SType type{CString(specs[i].pszName), CString(specs[i].pszSpec), SplitPatterns(CString(specs[i].pszSpec))};
        types.push_back(std::move(type));
    }
    m_types = std::move(types);
    return S_OK;
}

bool CFileTypes::Matches(size_t index, const CString& fileName) const
{
    if (index >= m_types.size())
        return true;
    for (const CString& pattern : m_types[index].patterns) {
        // A pattern without wildcards names a file; its case is ignored like
        // that of the others.
        if (HasWildcard(pattern) ? MatchWildcard(pattern, fileName) : pattern.CompareNoCase(fileName) == 0)
            return true;
    }
    return false;
}

CString CFileTypes::Extension(size_t index) const
{
    if (index >= m_types.size() || m_types[index].patterns.empty())
        return CString();
    return PatternExtension(m_types[index].patterns.front());
}

} // namespace platform

#include "platform/Wildcard_p.h"

#include <string_view>

namespace platform {

namespace {

// Glob matching of '*' and '?' over case-folded UTF-16 units.
bool GlobMatch(std::u16string_view pattern, std::u16string_view name)
{
    size_t p = 0, n = 0;
    size_t starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || CString::ToUpperChar(pattern[p]) == CString::ToUpperChar(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}


} // namespace

bool MatchWildcardRules(const CString& pattern, const CString& name, bool exactNamesIgnoreCase)
{
    if (pattern.IsEmpty())
        return false;
    if (pattern.FindOneOf(u"*?") < 0)
        return exactNamesIgnoreCase ? pattern.CompareNoCase(name) == 0 : pattern == name;
    std::u16string_view p = pattern.View();
    if (GlobMatch(p, name.View()))
        return true;
    // "x.*" also matches "x", so "*.*" matches every name.
    if (p.size() >= 2 && p.substr(p.size() - 2) == u".*")
        return GlobMatch(p.substr(0, p.size() - 2), name.View());
    // "x." matches "x" when the name has no extension.
    if (p.back() == u'.' && name.Find(u'.') < 0) {
        while (!p.empty() && p.back() == u'.')
            p.remove_suffix(1);
        return GlobMatch(p, name.View());
    }
    return false;
}

} // namespace platform

// The file types of a dialog: names shown to the user with their patterns
// ("Text files", "*.txt;*.text"), which names a type lets through, and the
// extension a type gives a name that has none.
#pragma once

#include <vector>

#include "platform/CString.h"
#include "platform/shell/FileDialogApi.h"

namespace platform {

class CFileTypes {
public:
    struct SType {
        CString name;
        CString spec;                  // as given
        std::vector<CString> patterns; // split at ';', blanks trimmed, empty ones dropped
    };

    // Copies the application's table. E_INVALIDARG for an empty table or an
    // entry whose name or pattern list is null; E_UNEXPECTED when types were
    // set before (they can be set once per dialog, as on Windows).
    HRESULT Set(UINT count, const COMDLG_FILTERSPEC* specs);

    bool IsEmpty() const { return m_types.empty(); }
    size_t Count() const { return m_types.size(); }
    // The type at a 0-based index; valid for index < Count().
    const SType& At(size_t index) const { return m_types.at(index); }

    // Whether the type at `index` lets `fileName` through (Windows wildcard
    // rules, case ignored). With no types every name passes.
    bool Matches(size_t index, const CString& fileName) const;

    // The extension (without '.') a type's first pattern fixes: "*.txt"
    // gives "txt"; "*.*", "*", "*.t?t" and names without "*." give none.
    CString Extension(size_t index) const;

    static std::vector<CString> SplitPatterns(const CString& spec);
    static CString PatternExtension(const CString& pattern);
    // Whether `text` holds a wildcard ('*' or '?').
    static bool HasWildcard(const CString& text);

private:
    std::vector<SType> m_types;
};

} // namespace platform

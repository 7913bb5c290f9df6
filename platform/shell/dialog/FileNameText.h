// The text of a dialog's file name box: one name, or several in double
// quotes ("a.txt" "b.txt"); how such names become paths; and the extension
// rules of the dialog.
#pragma once

#include <vector>

#include "platform/CString.h"

namespace platform {

class CFileNameText {
public:
    // The names the text holds: each quoted part (text between quotes is
    // ignored, an unclosed quote runs to the end), or the whole text trimmed
    // when it has no quote. Empty names are dropped.
    static std::vector<CString> Split(const CString& text);
    // The text for names: one name as it is, several each in quotes,
    // separated by blanks.
    static CString Join(const std::vector<CString>& names);

    // The extension of the last part of a name (without '.'): empty when
    // the part has no '.', starts with its only '.' (".profile") or ends in '.'.
    static CString Extension(const CString& name);
    // The name with `extension` in place of its own, or appended when it has
    // none.
    static CString ReplaceExtension(const CString& name, const CString& extension);

    // The absolute, normalised path a typed name stands for: absolute as
    // typed, "~" and "~/..." below `home`, otherwise below `folder`. Empty
    // when the name is empty.
    static CString Resolve(const CString& folder, const CString& name, const CString& home);
};

} // namespace platform

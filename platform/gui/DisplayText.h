// Texts from outside (GnuPG user ids, file names, process names) made safe
// to show: control characters become visible symbols, and the invisible
// characters that override the direction of the text around them are
// replaced, so a name can never reorder or hide the text beside it. Letters
// of right-to-left scripts are kept and shown as they are written.
//
//   list.SetItemText(row, 1, DisplaySafeText(key.GetUserID()));
//
// The framework's controls apply DisplaySafeText to every text they show
// (labels keep their line breaks); call it yourself only for texts you draw.
#pragma once

#include <functional>

#include "platform/CString.h"

namespace platform::gui {

// `text` with:
//   - C0 control characters (U+0000..U+001F) as their control pictures
//     (U+2400..U+241F), DEL as U+2421, C1 controls (U+0080..U+009F) as U+FFFD;
//     with `multiLine`, "\r\n", "\n" and "\r" become one "\n" instead;
//   - the direction embeddings, overrides and isolates (U+202A..U+202E,
//     U+2066..U+2069) and unpaired surrogates as U+FFFD.
// Everything else, including "%" and "&", is kept as written.
CString DisplaySafeText(const CString& text, bool multiLine = false);

} // namespace platform::gui

namespace platform::gui {

// Fits a path into `maxWidth` the way a label with SS_PATHELLIPSIS does:
// as much of the start as fits, "...", then the last path element (after
// the last "/" or "\"), which is kept whole if at all possible. `width`
// measures a text. Returns the text unchanged when it fits.
CString PathEllipsisText(const CString& text, int maxWidth, const std::function<int(const CString&)>& width);

} // namespace platform::gui

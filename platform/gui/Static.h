// CStatic: a label or picture of a dialog. Texts show as written (no
// formatting of any kind), wrapped where the template's style wraps, cut
// with an ellipsis for SS_ENDELLIPSIS and SS_PATHELLIPSIS (the latter keeps
// the end of a path). Colours: CWnd::SetTextColor.
#pragma once

#include "platform/gui/Wnd.h"

class CStatic : public CWnd {
public:
    // Shows bitmap `bitmapId` of the resource chain (an SS_BITMAP picture).
    // FALSE when there is no such bitmap.
    BOOL SetBitmapResource(UINT bitmapId);
    // Shows an icon; returns the previous one.
    HICON SetIcon(HICON icon);
    HICON GetIcon() const;
};

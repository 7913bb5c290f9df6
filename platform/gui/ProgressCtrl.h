// CProgressCtrl: a progress bar of a dialog ("msctls_progress32").
#pragma once

#include "platform/gui/Wnd.h"

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    // Returns the previous position.
    int SetPos(int position);
    int GetPos() const;
};

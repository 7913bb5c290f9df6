// CResizableDialog: a dialog whose controls follow its size. Each control
// registered with AddAnchor keeps its distances to two anchor points of the
// client area (percentages of its width and height, see LayoutRules.h); the
// initial size is the smallest the user can make it; a size grip sits in
// the bottom-right corner.
//
//   BOOL CMyDlg::OnInitDialog() {
//       CResizableDialog::OnInitDialog();          // first: takes the minimum size
//       AddAnchor(IDC_LIST, TOP_LEFT, BOTTOM_RIGHT); // grows with the dialog
//       AddAnchor(IDOK, BOTTOM_RIGHT);               // moves with the corner
//       return TRUE;
//   }
//
// Layout acts only after OnInitDialog; size notifications that come from
// another window being maximized or restored (SIZE_MAXSHOW, SIZE_MAXHIDE)
// are ignored.
#pragma once

#include <vector>

#include "ui/LayoutRules.h"
#include "ui/OrvDialogEx.h"

class CResizableDialog : public COrvDialogEx {
public:
    CResizableDialog() = default;
    explicit CResizableDialog(UINT templateId, CWnd* parent = nullptr) : COrvDialogEx(templateId, parent) {}
    CResizableDialog(const char16_t* templateName, CWnd* parent = nullptr) : COrvDialogEx(templateName, parent) {}

    // Registers a control (by handle or id) with its anchors; the
    // bottom-right anchor NOANCHOR means "the same as the top-left one".
    void AddAnchor(HWND control, CSize topLeft, CSize bottomRight = NOANCHOR);
    void AddAnchor(UINT id, CSize topLeft, CSize bottomRight = NOANCHOR);
    // The control and the window just before it in template order (its label).
    void AddAnchorWithLabel(UINT id, CSize topLeft, CSize bottomRight = NOANCHOR);

    void ShowSizeGrip(BOOL show);
    void SetMinTrackSize(const CSize& size);
    void ResetMinTrackSize();
    void SetMaxTrackSize(const CSize& size);
    void ResetMaxTrackSize();
    // Position (left, top) and size (width, height) when maximized.
    void SetMaximizedRect(const CRect& rect);
    void ResetMaximizedRect();
    // Records the profile section and entry for the window placement (the
    // placement itself is not stored).
    void EnableSaveRestore(const CString& section, const CString& entry);

    // HTBOTTOMRIGHT for a point (client coordinates) on the shown grip,
    // else HTCLIENT.
    LRESULT OnNcHitTest(CPoint clientPoint) const;
    CRect GetGripRect() const { return m_rcGripRect; }
    CSize GetMinTrackSize() const { return m_ptMinTrackSize; }

protected:
    BOOL OnInitDialog() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnGetMinMaxInfo(MINMAXINFO* info) override;
    void OnDestroy() override;

private:
    struct SLayout {
        HWND hwnd = nullptr;
        bool horizontalScroll = false;
        bool repaint = false;
        layout::SAnchoredRect anchors;
    };
    void ArrangeLayout();
    void UpdateGripRect();

    int m_bShowGrip = 1;
    int m_bUseMaxTrack = 0;
    int m_bUseMinTrack = 1;
    int m_bUseMaxRect = 0;
    int m_bEnableSaveRestore = 0;
    CString m_sSection;
    CString m_sEntry;
    int m_bInitDone = 0;
    CSize m_szGripSize;
    CRect m_rcGripRect;
    CSize m_ptMinTrackSize;
    CSize m_ptMaxTrackSize;
    CPoint m_ptMaxPos;
    CSize m_ptMaxSize;
    std::vector<SLayout> m_plLayoutList;
};

// The dialog layout helpers: anchor arithmetic on its own, and resizable
// dialogs of the resource module's templates on real widgets.
#include <gtest/gtest.h>

#include "platform/gui/Automation.h"
#include "platform/gui/Gui.h"
#include "resources/resource.h"
#include "ui/LayoutRules.h"
#include "ui/ResizableDialog.h"

using platform::gui::Automation;
using platform::gui::ModalDriver;

// ---- the arithmetic ------------------------------------------------------------------------

TEST(LayoutRules, AnchorsKeepTheDistancesToTheirPoints)
{
    const CSize client(400, 300);
    const CRect control(10, 20, 390, 250);
    const layout::SAnchoredRect stretch = layout::AnchorRect(control, client, TOP_LEFT, BOTTOM_RIGHT);
    EXPECT_EQ(layout::ArrangeAnchored(stretch, CSize(500, 350)), CRect(10, 20, 490, 300));
    EXPECT_EQ(layout::ArrangeAnchored(stretch, CSize(300, 280)), CRect(10, 20, 290, 230));

    const layout::SAnchoredRect corner = layout::AnchorRect(CRect(330, 270, 380, 290), client, BOTTOM_RIGHT, NOANCHOR);
    EXPECT_EQ(layout::ArrangeAnchored(corner, CSize(501, 351)), CRect(431, 321, 481, 341)); // size kept

    // Percentages of odd sizes truncate toward zero, the same way both times.
    const layout::SAnchoredRect centre = layout::AnchorRect(CRect(100, 10, 150, 30), CSize(301, 100), TOP_CENTER, NOANCHOR);
    EXPECT_EQ(centre.marginLeft, 100 - 150);
    EXPECT_EQ(layout::ArrangeAnchored(centre, CSize(401, 100)), CRect(150, 10, 200, 30));
}

TEST(LayoutRules, RowsCentreAndButtonsShareOneWidth)
{
    EXPECT_EQ(layout::CenteredRow({50, 50, 50}, 200, 10), (std::vector<int>{15, 75, 135}));
    EXPECT_EQ(layout::CenteredRow({150, 150}, 200, 10), (std::vector<int>{0, 160})); // too wide: starts at 0
    EXPECT_TRUE(layout::CenteredRow({}, 200, 10).empty());

    // Captions that fit their buttons change nothing.
    EXPECT_EQ(layout::CommonButtonWidth({80, 80}, {40, 60}, 400, 8), -1);
    // One long caption: every button gets its width ...
    EXPECT_EQ(layout::CommonButtonWidth({80, 80, 80}, {40, 100, 60}, 600, 8), 116);
    // ... capped so that all fit side by side with the margins.
    EXPECT_EQ(layout::CommonButtonWidth({80, 80, 80}, {40, 300, 60}, 300, 8), (300 - 16 - 16) / 3);
}

// ---- resizable dialogs on real widgets ----------------------------------------------------------

namespace {

// The key selection template with the anchors of the key selection dialog.
class AnchoredDialog : public CResizableDialog {
public:
    AnchoredDialog() : CResizableDialog(IDD_KEYSELECTION) {}

protected:
    BOOL OnInitDialog() override
    {
        CResizableDialog::OnInitDialog();
        AddAnchor(IDC_KEYLIST, TOP_LEFT, BOTTOM_RIGHT);
        AddAnchor(IDOK, BOTTOM_RIGHT);
        AddAnchor(IDCANCEL, BOTTOM_RIGHT);
        AddAnchor(IDC_SAVESELECTION, BOTTOM_LEFT);
        AddAnchor(IDC_GROUPNAME, BOTTOM_LEFT);
        return TRUE;
    }
};

class ResizableDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(platform::gui::InitGui()); }
    void TearDown() override { EXPECT_TRUE(automation.Unexpected().empty()); }
    Automation automation;
};

void Resize(CWnd& dlg, int dx, int dy)
{
    CRect frame;
    dlg.GetWindowRect(frame);
    dlg.MoveWindow(frame.left, frame.top, frame.Width() + dx, frame.Height() + dy);
}

} // namespace

TEST_F(ResizableDialogTest, AnchoredControlsFollowTheDialogAndItCannotShrinkBelowItsFirstSize)
{
    AnchoredDialog dlg;
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        const CRect list = d.Rect(IDC_KEYLIST), ok = d.Rect(IDOK), check = d.Rect(IDC_SAVESELECTION),
                    combo = d.Rect(IDC_KEYGROUPS);
        CRect client;
        dlg.GetClientRect(client);

        Resize(dlg, 100, 50);
        EXPECT_EQ(d.Rect(IDC_KEYLIST), CRect(list.left, list.top, list.right + 100, list.bottom + 50));
        EXPECT_EQ(d.Rect(IDOK), CRect(ok.left + 100, ok.top + 50, ok.right + 100, ok.bottom + 50));
        EXPECT_EQ(d.Rect(IDC_SAVESELECTION), CRect(check.left, check.top + 50, check.right, check.bottom + 50));
        EXPECT_EQ(d.Rect(IDC_KEYGROUPS), combo); // not anchored: stays

        // Back and further: the first size is the smallest.
        Resize(dlg, -300, -300);
        CRect now;
        dlg.GetClientRect(now);
        EXPECT_EQ(now.Size(), client.Size());
        EXPECT_EQ(d.Rect(IDC_KEYLIST), list);
        EXPECT_EQ(d.Rect(IDOK), ok);

        // Size notifications about another window being maximized or
        // restored leave the layout alone.
        dlg.GetDlgItem(IDOK)->MoveWindow(5, 5, ok.Width(), ok.Height());
        dlg.SendMessage(WM_SIZE, SIZE_MAXHIDE, MAKELPARAM(now.Width() + 40, now.Height()));
        dlg.SendMessage(WM_SIZE, SIZE_MAXSHOW, MAKELPARAM(now.Width() + 40, now.Height()));
        EXPECT_EQ(d.Rect(IDOK).TopLeft(), CPoint(5, 5));
        dlg.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(now.Width(), now.Height()));
        EXPECT_EQ(d.Rect(IDOK), ok);
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(ResizableDialogTest, TheGripSitsInTheBottomRightCornerAndAnswersHitTests)
{
    AnchoredDialog dlg;
    automation.OnDialog(IDD_KEYSELECTION, [&](ModalDriver& d) {
        CRect client;
        dlg.GetClientRect(client);
        const CRect grip = dlg.GetGripRect();
        EXPECT_EQ(grip.BottomRight(), client.BottomRight());
        EXPECT_EQ(grip.Width(), GetSystemMetrics(SM_CXVSCROLL));
        EXPECT_EQ(dlg.OnNcHitTest(CPoint(client.right - 2, client.bottom - 2)), HTBOTTOMRIGHT);
        EXPECT_EQ(dlg.OnNcHitTest(CPoint(2, 2)), HTCLIENT);
        Resize(dlg, 30, 20);
        EXPECT_EQ(dlg.GetGripRect().BottomRight(), CPoint(client.right + 30, client.bottom + 20));
        dlg.ShowSizeGrip(FALSE);
        EXPECT_EQ(dlg.OnNcHitTest(CPoint(client.right + 28, client.bottom + 18)), HTCLIENT);
        d.PressKey(VK_ESCAPE);
    });
    dlg.DoModal();
}

TEST_F(ResizableDialogTest, ButtonRowsCentreWithoutHiddenOnesAndShareAWidth)
{
    COrvDialogEx dlg(IDD_MISSINGPUBLICKEY);
    automation.OnDialog(IDD_MISSINGPUBLICKEY, [&](ModalDriver& d) {
        const std::vector<int> row{IDC_OPENREADONLY, IDC_OPENWRITEABLE, IDCANCEL};
        const CRect before = d.Rect(IDC_OPENWRITEABLE);
        dlg.AdjustButtonWidths(row, 8); // every caption fits: nothing changes
        EXPECT_EQ(d.Rect(IDC_OPENWRITEABLE), before);

        dlg.SetDlgItemText(IDC_OPENWRITEABLE, u"Open the document so that changes are encrypted again");
        dlg.AdjustButtonWidths(row, 8);
        const int width = d.Rect(IDC_OPENWRITEABLE).Width();
        EXPECT_GT(width, before.Width());
        EXPECT_EQ(d.Rect(IDC_OPENREADONLY).Width(), width);
        EXPECT_EQ(d.Rect(IDCANCEL).Width(), width);
        CRect client;
        dlg.GetClientRect(client);
        EXPECT_LE(3 * width + 4 * 8, client.Width()); // capped to fit side by side

        dlg.GetDlgItem(IDC_OPENWRITEABLE)->ShowWindow(SW_HIDE);
        dlg.CenterControlsHorizontal(row, 10);
        const CRect left = d.Rect(IDC_OPENREADONLY), right = d.Rect(IDCANCEL);
        EXPECT_EQ(right.left - left.right, 10); // no room left for the hidden one
        EXPECT_EQ(left.left, (client.Width() - 2 * width - 10) / 2);
        dlg.CenterControlHorizontal(IDCANCEL);
        EXPECT_EQ(d.Rect(IDCANCEL).left, (client.Width() - width) / 2);

        dlg.OffsetControl(IDCANCEL, 3, 4);
        EXPECT_EQ(d.Rect(IDCANCEL).TopLeft(), CPoint((client.Width() - width) / 2 + 3, right.top + 4));
        dlg.MoveControlTopTo(IDCANCEL, 1);
        EXPECT_EQ(d.Rect(IDCANCEL).top, 1);
        EXPECT_EQ(dlg.GetControlRect(IDCANCEL), d.Rect(IDCANCEL));
        EXPECT_TRUE(dlg.GetControlRect(4242).IsRectNull()); // no such control
        dlg.OffsetControl(4242, 1, 1);                       // ignored
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(ResizableDialogTest, DialogUnitsOfTheSystemFont)
{
    const LONG units = GetDialogBaseUnits();
    ASSERT_GT(LOWORD(units), 0);
    EXPECT_EQ(COrvDialogEx::PixelToDialogUnitsX(LOWORD(units)), 4);
    EXPECT_EQ(COrvDialogEx::PixelToDialogUnitsY(HIWORD(units)), 8);
}

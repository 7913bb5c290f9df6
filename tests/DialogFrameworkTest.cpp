// The dialog framework on real widgets (offscreen): dialogs from templates,
// the Windows dialog keyboard, notifications, control operations, timers
// through nested modal loops, message boxes, the way in from other threads,
// and the automation hook itself.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "TestEnvironment.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Button.h"
#include "platform/gui/ComboBox.h"
#include "platform/gui/Dialog.h"
#include "platform/gui/Edit.h"
#include "platform/gui/Gui.h"
#include "platform/gui/ListCtrl.h"

using platform::gui::Automation;
using platform::gui::ModalDriver;

namespace {

constexpr int IDC_NAME = 10, IDC_THREE = 11, IDC_TWO = 12, IDC_COMBO = 13, IDC_APPLY = 14, IDC_LIST = 15,
              IDC_LABEL = 16, IDC_BOX = 17, IDC_SORTED = 18;
constexpr UINT IDD_TEST = 7001;

platform::DialogControl Control(int id, const char16_t* cls, const char16_t* text, DWORD style, int x, int y, int cx,
                                int cy)
{
    platform::DialogControl c;
    c.id = id;
    c.className = cls;
    c.text = text;
    c.style = style | WS_CHILD | WS_VISIBLE;
    c.x = x;
    c.y = y;
    c.cx = cx;
    c.cy = cy;
    return c;
}

// A dialog of every kind of control the framework realises.
platform::DialogTemplate TestTemplate(DWORD extraStyle = 0)
{
    platform::DialogTemplate t;
    t.id = IDD_TEST;
    t.caption = u"Test dialog";
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_MODALFRAME | extraStyle;
    t.cx = 260;
    t.cy = 160;
    t.fontName = u"MS Shell Dlg";
    t.fontPointSize = 8;
    t.controls = {
        Control(-1, u"Static", u"&Name:", SS_LEFT, 7, 9, 40, 8),
        Control(IDC_NAME, u"Edit", u"", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 50, 7, 100, 13),
        Control(IDC_THREE, u"Button", u"Three &state", BS_AUTO3STATE | WS_TABSTOP, 7, 26, 80, 10),
        Control(IDC_TWO, u"Button", u"Two state", BS_AUTOCHECKBOX | WS_TABSTOP, 90, 26, 80, 10),
        Control(IDC_COMBO, u"ComboBox", u"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 7, 40, 100, 60),
        Control(IDC_SORTED, u"ComboBox", u"", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 110, 40, 100, 60),
        Control(IDC_LIST, u"SysListView32", u"", LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 58, 246,
                70),
        Control(IDC_LABEL, u"Static", u"", SS_LEFT, 7, 131, 150, 8),
        Control(IDC_APPLY, u"Button", u"&Apply", BS_DEFPUSHBUTTON | WS_TABSTOP, 90, 141, 50, 14),
        Control(IDOK, u"Button", u"OK", BS_PUSHBUTTON | WS_TABSTOP, 146, 141, 50, 14),
        Control(IDCANCEL, u"Button", u"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 203, 141, 50, 14),
    };
    return t;
}

// A dialog that counts what reaches it.
class TestDialog : public CDialog {
public:
    explicit TestDialog(DWORD extraStyle = 0)
    {
        InitModalIndirect(TestTemplate(extraStyle));
        MapClicked(IDC_APPLY, [this] { ++applied; });
        MapClicked(IDC_THREE, [this] { clicks.push_back(IsDlgButtonChecked(IDC_THREE)); });
        MapCommand(IDC_COMBO, CBN_SELCHANGE, [this] { ++comboChanges; });
        MapCommand(IDC_NAME, EN_CHANGE, [this] { ++editChanges; });
        MapNotify(IDC_LIST, NM_DBLCLK, [this](NMHDR* header, LRESULT*) {
            auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
            doubleClicks.push_back({item->iItem, item->iSubItem});
        });
        MapNotify(IDC_LIST, LVN_ITEMCHANGED, [this](NMHDR* header, LRESULT*) {
            auto* item = reinterpret_cast<NMLISTVIEW*>(header);
            if ((item->uNewState & LVIS_SELECTED) && !(item->uOldState & LVIS_SELECTED))
                selected.push_back(item->iItem);
        });
    }

    int applied = 0;
    int comboChanges = 0;
    int editChanges = 0;
    int timerTicks = 0;
    int closeRequests = 0;
    bool refuseClose = false;
    std::vector<UINT> clicks;
    std::vector<std::pair<int, int>> doubleClicks;
    std::vector<int> selected;
    std::function<void(TestDialog&)> onInit;
    CListCtrl list;
    CComboBox combo;
    CComboBox sorted;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_LIST, list);
        DDX_Control(pDX, IDC_COMBO, combo);
        DDX_Control(pDX, IDC_SORTED, sorted);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        list.InsertColumn(0, u"Name", LVCFMT_LEFT, 120);
        list.InsertColumn(1, u"Value", LVCFMT_RIGHT, 80);
        for (int i = 0; i < 3; ++i) {
            CString name;
            name.Format(u"row %d", i);
            const int row = list.InsertItem(list.GetItemCount(), name);
            list.SetItemText(row, 1, u"v");
            list.SetItemData(row, static_cast<DWORD_PTR>(100 + i));
        }
        combo.AddString(u"beta");
        combo.AddString(u"alpha");
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    void OnTimer(UINT_PTR) override { ++timerTicks; }
    void OnClose() override
    {
        ++closeRequests;
        if (!refuseClose)
            CDialog::OnClose();
    }
};

class DialogFrameworkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(platform::gui::InitGui()); }
    void TearDown() override { EXPECT_TRUE(automation.Unexpected().empty()) << automation.Unexpected()[0]; }
    Automation automation;
};

} // namespace

// ---- keyboard, focus, commands -------------------------------------------------------------

TEST_F(DialogFrameworkTest, EnterPressesTheDefaultButtonOrTheFocusedOneAndEscapeCancels)
{
    TestDialog dlg;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        // The first control in tab order has the focus: the edit.
        EXPECT_EQ(d.FocusedId(), IDC_NAME) << d.Focused().ToUtf8();
        d.PressKey(VK_RETURN); // the default button, "&Apply"
        EXPECT_EQ(dlg.applied, 1);
        dlg.GetDlgItem(IDC_APPLY)->EnableWindow(FALSE);
        d.PressKey(VK_RETURN); // a disabled default button does nothing
        EXPECT_EQ(dlg.applied, 1);
        EXPECT_FALSE(dlg.GetResult() == IDOK);
        d.PressKey(VK_ESCAPE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);

    TestDialog focusOnButton;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        focusOnButton.GetDlgItem(IDOK)->SetFocus();
        d.PressKey(VK_RETURN); // the focused push button, not the default one
    });
    EXPECT_EQ(focusOnButton.DoModal(), IDOK);
    EXPECT_EQ(focusOnButton.applied, 0);
}

TEST_F(DialogFrameworkTest, TabOrderFollowsTheTemplateAndMnemonicsReachTheirControls)
{
    TestDialog dlg;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        std::vector<int> order{d.FocusedId()};
        for (int i = 0; i < 8; ++i) {
            d.PressKey(VK_TAB);
            order.push_back(d.FocusedId());
        }
        EXPECT_EQ(order, (std::vector<int>{IDC_NAME, IDC_THREE, IDC_TWO, IDC_COMBO, IDC_SORTED, IDC_LIST, IDC_APPLY,
                                            IDOK, IDCANCEL}));
        d.PressAltKey(u'n'); // the label "&Name:" gives the focus to the edit after it
        EXPECT_EQ(d.FocusedId(), IDC_NAME);
        d.PressAltKey(u'a'); // "&Apply" clicks (with the button's short press animation)
        EXPECT_TRUE(d.WaitUntil([&] { return dlg.applied == 1; }, 2000));
        EXPECT_EQ(d.ShownText(IDC_APPLY), CString(u"Apply"));
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(DialogFrameworkTest, TheCloseBoxAsksTheDialogWhichMayRefuse)
{
    TestDialog dlg;
    dlg.refuseClose = true;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        d.Close();
        EXPECT_EQ(dlg.closeRequests, 1);
        EXPECT_TRUE(d.IsVisible(IDOK)); // still open
        dlg.refuseClose = false;
        d.Close();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.closeRequests, 2);
    EXPECT_EQ(dlg.m_hWnd, nullptr); // the window is gone after DoModal
}

TEST_F(DialogFrameworkTest, CheckBoxesCycleAsOnWindowsAndNotifyAfterTheChange)
{
    TestDialog dlg;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        d.Click(IDC_THREE);
        d.Click(IDC_THREE);
        d.Click(IDC_THREE);
        d.Click(IDC_TWO);
        d.Click(IDC_TWO);
        EXPECT_EQ(d.Check(IDC_TWO), static_cast<int>(BST_UNCHECKED));
        // Set by code: no notification, and the indeterminate state sticks.
        dlg.CheckDlgButton(IDC_THREE, BST_INDETERMINATE);
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_THREE), BST_INDETERMINATE);
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.clicks, (std::vector<UINT>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}));
}

TEST_F(DialogFrameworkTest, ComboBoxOperationsFollowTheWindowsRules)
{
    TestDialog dlg;
    dlg.onInit = [](TestDialog& self) {
        CComboBox& s = self.sorted;
        EXPECT_EQ(s.AddString(u"pear"), 0);
        EXPECT_EQ(s.AddString(u"Apple"), 0); // sorted, ignoring case
        EXPECT_EQ(s.AddString(u"banana"), 1);
        EXPECT_EQ(s.InsertString(0, u"zebra"), 0); // inserting never sorts
        EXPECT_EQ(s.GetLBText(0), CString(u"zebra"));
        EXPECT_EQ(s.FindStringExact(-1, u"BANANA"), 2);
        EXPECT_EQ(s.FindStringExact(2, u"banana"), 2); // wraps round to the start
        EXPECT_EQ(s.FindString(-1, u"pe"), 3);
        EXPECT_EQ(s.FindStringExact(-1, u"kiwi"), CB_ERR);
        EXPECT_EQ(s.SetItemData(2, 0xFEEDBEEF), 0);
        EXPECT_EQ(s.GetItemData(2), static_cast<DWORD_PTR>(0xFEEDBEEF));
        EXPECT_EQ(s.GetItemData(9), static_cast<DWORD_PTR>(CB_ERR));
        EXPECT_EQ(s.SetCurSel(9), CB_ERR);
        EXPECT_EQ(s.GetCurSel(), CB_ERR);
        EXPECT_EQ(s.SelectString(-1, u"app"), 1);
        EXPECT_EQ(s.GetWindowText(), CString(u"Apple"));
        EXPECT_EQ(s.DeleteString(0), 3);
        EXPECT_EQ(s.GetLBText(7), CString());
        EXPECT_EQ(s.GetLBTextLen(7), CB_ERR);
        self.combo.SetCurSel(1); // by code: no CBN_SELCHANGE
    };
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        EXPECT_EQ(dlg.comboChanges, 0);
        d.ChooseCombo(IDC_COMBO, u"beta");
        EXPECT_EQ(dlg.comboChanges, 1);
        EXPECT_EQ(dlg.combo.GetCurSel(), 0);
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(DialogFrameworkTest, DataExchangeFillsAndReadsControlsAndAFailedCheckKeepsTheDialogOpen)
{
    class Dlg : public TestDialog {
    public:
        CString name = u"initial";
        int number = 5;
        int three = BST_INDETERMINATE;
        int fails = 0;

    protected:
        void DoDataExchange(CDataExchange* pDX) override
        {
            TestDialog::DoDataExchange(pDX);
            DDX_Text(pDX, IDC_NAME, name);
            DDX_Check(pDX, IDC_THREE, three);
            int saved = number;
            DDX_Text(pDX, IDC_NAME, saved); // the same edit read as a number
            number = saved;
        }
        void OnOK() override
        {
            if (!UpdateData(TRUE)) {
                ++fails;
                return;
            }
            EndDialog(IDOK);
        }
    } dlg;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        EXPECT_EQ(d.Text(IDC_NAME), CString(u"5")); // the last exchange wins
        EXPECT_EQ(d.Check(IDC_THREE), static_cast<int>(BST_INDETERMINATE));
        d.Type(IDC_NAME, u"not a number");
        d.Click(IDOK);
        EXPECT_EQ(dlg.fails, 1);
        EXPECT_TRUE(d.HasFocus(IDC_NAME)); // the failing control gets the focus
        d.Type(IDC_NAME, u"-42");
        d.Click(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.number, -42);
    EXPECT_EQ(dlg.name, CString(u"-42"));
    EXPECT_GT(dlg.editChanges, 0);
}

// ---- lists --------------------------------------------------------------------------------

TEST_F(DialogFrameworkTest, ListControlRowsColumnsAndNotifications)
{
    TestDialog dlg;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        CListCtrl& list = dlg.list;
        EXPECT_EQ(list.GetItemCount(), 3);
        EXPECT_EQ(list.GetColumnCount(), 2);
        EXPECT_EQ(list.GetItemData(2), static_cast<DWORD_PTR>(102));
        // Out of range: nothing happens, 0 / -1 / empty come back.
        EXPECT_FALSE(list.SetItemText(3, 0, u"x"));
        EXPECT_FALSE(list.SetItemText(0, 2, u"x"));
        EXPECT_EQ(list.GetItemText(-1, 0), CString());
        EXPECT_EQ(list.GetItemData(99), static_cast<DWORD_PTR>(0));
        EXPECT_EQ(list.InsertItem(-1, u"x"), -1);
        EXPECT_EQ(list.InsertItem(99, u"last"), 3); // beyond the end appends
        EXPECT_TRUE(list.DeleteItem(3));
        EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), -1);

        d.ListClick(IDC_LIST, 1, 1);
        EXPECT_EQ(dlg.selected, std::vector<int>{1});
        EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1);
        POSITION pos = list.GetFirstSelectedItemPosition();
        EXPECT_EQ(list.GetNextSelectedItem(pos), 1);
        EXPECT_EQ(pos, nullptr);

        d.ListDoubleClick(IDC_LIST, 2, 1);
        ASSERT_EQ(dlg.doubleClicks.size(), 1u);
        EXPECT_EQ(dlg.doubleClicks[0], std::make_pair(2, 1));

        // Hit tests in client coordinates (the header is part of the client area).
        CRect cell;
        ASSERT_TRUE(list.GetSubItemRect(2, 1, LVIR_LABEL, cell));
        EXPECT_GT(cell.top, 0);
        LVHITTESTINFO hit{};
        hit.pt = cell.CenterPoint();
        EXPECT_EQ(list.SubItemHitTest(&hit), 2);
        EXPECT_EQ(hit.iSubItem, 1);
        EXPECT_EQ(list.HitTest(CPoint(2, 2)), -1); // on the header

        // A stable sort by item data, descending.
        list.SetItemData(0, 5);
        list.SetItemData(1, 5);
        list.SetItemData(2, 9);
        list.SortItems([](LPARAM a, LPARAM b, LPARAM) { return static_cast<int>(b - a); }, 0);
        EXPECT_EQ(list.GetItemText(0, 0), CString(u"row 2"));
        EXPECT_EQ(list.GetItemText(1, 0), CString(u"row 0"));
        EXPECT_EQ(list.GetItemText(2, 0), CString(u"row 1"));
        // The selection (the double-clicked "row 2") moved with its row.
        EXPECT_EQ(list.GetItemText(list.GetNextItem(-1, LVNI_SELECTED), 0), CString(u"row 2"));

        // The last column sized "to header" fills the rest of the list.
        list.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
        CRect client;
        list.GetClientRect(client);
        EXPECT_GE(list.GetColumnWidth(0) + list.GetColumnWidth(1), client.Width() - 4);
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

// ---- timers, nested modal loops, threads ----------------------------------------------------

TEST_F(DialogFrameworkTest, TimersKeepFiringThroughNestedMessageBoxesAndDialogs)
{
    TestDialog outer;
    outer.onInit = [](TestDialog& self) { self.SetTimer(1, 20); };
    outer.MapClicked(IDC_APPLY, [&outer] {
        AfxMessageBox(u"Nested box", MB_OK);
        TestDialog inner;
        inner.DoModal();
        ++outer.applied;
    });
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        d.Click(IDC_APPLY);
        EXPECT_EQ(outer.applied, 1);
        d.Click(IDCANCEL);
    });
    int ticksSeenInBox = 0, ticksSeenInInner = 0;
    automation.OnMessageBox([&](ModalDriver& d) {
        const int before = outer.timerTicks;
        EXPECT_TRUE(d.WaitUntil([&] { return outer.timerTicks >= before + 3; }, 5000));
        ticksSeenInBox = outer.timerTicks - before;
        d.Answer(IDOK);
    });
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        const int before = outer.timerTicks;
        EXPECT_TRUE(d.WaitUntil([&] { return outer.timerTicks >= before + 3; }, 5000));
        ticksSeenInInner = outer.timerTicks - before;
        d.PressKey(VK_ESCAPE);
    });
    outer.DoModal();
    EXPECT_GE(ticksSeenInBox, 3);
    EXPECT_GE(ticksSeenInInner, 3);
}

TEST_F(DialogFrameworkTest, AHiddenDialogRunsTimersAndTasksFromOtherThreadsUntilShown)
{
    TestDialog dlg;
    dlg.SetStartHidden(true);
    std::atomic<bool> posted{false};
    std::thread worker;
    dlg.onInit = [&](TestDialog& self) {
        self.SetTimer(7, 15);
        HWND hwnd = self.m_hWnd;
        worker = std::thread([&posted, hwnd] {
            platform::gui::PostToUiThread([&posted] { posted = true; });
            int shownFromUi = -1;
            platform::gui::InvokeOnUiThread([&] { shownFromUi = CWnd::FromHandle(hwnd)->IsWindowVisible(); });
            EXPECT_EQ(shownFromUi, 0);
            ::PostMessageW(hwnd, WM_APP + 1, 3, 4);
        });
    };
    LPARAM received = 0;
    dlg.MapMessage(WM_APP + 1, [&](WPARAM w, LPARAM l) {
        received = static_cast<LPARAM>(w) * 10 + l;
        return LRESULT(0);
    });
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        EXPECT_FALSE(d.IsVisible(IDOK));
        EXPECT_TRUE(d.WaitUntil([&] { return dlg.timerTicks >= 2 && posted && received == 34; }, 5000));
        dlg.ShowWindow(SW_SHOW);
        EXPECT_TRUE(d.IsVisible(IDOK));
        d.Click(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    worker.join();
}

TEST_F(DialogFrameworkTest, EndDialogDuringInitialisationReturnsAtOnce)
{
    TestDialog dlg;
    dlg.onInit = [](TestDialog& self) { self.EndDialog(IDNO); };
    EXPECT_EQ(dlg.DoModal(), IDNO);
    EXPECT_TRUE(automation.Shown().empty()); // never came up
}

TEST_F(DialogFrameworkTest, ErrorsEscapingAHandlerAreReportedAndTheDialogStaysUsable)
{
    TestDialog dlg;
    dlg.MapClicked(IDC_APPLY, [] { throw std::runtime_error("handler failed"); });
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        d.Click(IDC_APPLY);
        d.Click(IDOK);
    });
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.MessageText(), CString(u"handler failed"));
        EXPECT_EQ(d.MessageType() & MB_ICONMASK, MB_ICONERROR);
        d.Answer(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

// ---- message boxes ----------------------------------------------------------------------------

TEST_F(DialogFrameworkTest, MessageBoxesHaveTheirButtonsDefaultAndEscapeRules)
{
    // Yes/No with No as default: Escape and the close box do nothing, Enter is No.
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_TRUE(d.Exists(IDYES));
        EXPECT_TRUE(d.Exists(IDNO));
        EXPECT_FALSE(d.Exists(IDCANCEL));
        d.PressKey(VK_ESCAPE);
        d.Close();
        EXPECT_TRUE(d.IsVisible(IDYES));
        d.PressKey(VK_RETURN);
    });
    EXPECT_EQ(AfxMessageBox(u"Proceed?", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);

    automation.OnMessageBox([](ModalDriver& d) { d.PressKey(VK_ESCAPE); });
    EXPECT_EQ(AfxMessageBox(u"Sure?", MB_OKCANCEL), IDCANCEL);
    automation.OnMessageBox([](ModalDriver& d) { d.Close(); });
    EXPECT_EQ(AfxMessageBox(u"Info", MB_OK | MB_ICONINFORMATION), IDOK);
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.Caption(), CString(u"Caption"));
        d.Answer(IDNO);
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"Text", u"Caption", MB_YESNOCANCEL), IDNO);
    automation.OnMessageBox([](ModalDriver& d) {
        EXPECT_EQ(d.Caption(), CString(u"Error")); // Windows' title when none is given
        d.Answer(IDOK);
    });
    MessageBoxW(nullptr, u"Text", nullptr, MB_OK);
    EXPECT_EQ(automation.MessageBoxTexts().size(), 5u);
}

TEST_F(DialogFrameworkTest, MessageBoxTextsShowAsWrittenAndLongOnesStayOnScreen)
{
    const CString tricky = u"100% sure? %s %d %n <b>bold</b> &amp; \u202Eevil";
    automation.OnMessageBox([&](ModalDriver& d) {
        EXPECT_EQ(d.Text(0xFFFF), tricky);
        const CString shown = d.ShownText(0xFFFF);
        EXPECT_NE(shown.Find(u"100% sure? %s %d %n <b>bold</b> &amp; "), -1) << shown.ToUtf8();
        EXPECT_EQ(shown.Find(u'\u202E'), -1); // the direction override is not passed on
        d.Answer(IDOK);
    });
    AfxMessageBox(tricky, MB_OK);

    CString huge;
    for (int i = 0; i < 400; ++i)
        huge += u"/a/very/long/path/without/any/blank/in/it/";
    automation.OnMessageBox([&](ModalDriver& d) {
        CRect frame;
        CWnd::FromHandle(d.Window())->GetWindowRect(frame);
        EXPECT_LE(frame.Width(), GetSystemMetrics(SM_CXSCREEN));
        EXPECT_LE(frame.Height(), GetSystemMetrics(SM_CYSCREEN));
        EXPECT_TRUE(d.IsVisible(IDOK));
        d.Answer(IDOK);
    });
    AfxMessageBox(huge, MB_OK);
}

TEST_F(DialogFrameworkTest, AWindowNobodyAnswersIsClosedAndReported)
{
    Automation inner;
    TestDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(AfxMessageBox(u"Unanswered", MB_YESNO), IDYES); // the default button
    inner.OnDialog(IDD_TEST, [](ModalDriver&) {});            // leaves it open
    TestDialog second;
    EXPECT_EQ(second.DoModal(), IDCANCEL);
    ASSERT_EQ(inner.Unexpected().size(), 3u);
    EXPECT_NE(inner.Unexpected()[2].Find(u"stayed open"), -1);
    ASSERT_EQ(inner.Shown().size(), 3u);
    EXPECT_FALSE(inner.Shown()[0].handled);
}

// ---- texts, colours, geometry, images ----------------------------------------------------------

TEST_F(DialogFrameworkTest, LabelsShowOutsideTextsSafelyAndKeepWhatWasSet)
{
    TestDialog dlg;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        const CString userId = CString(u"Eve \u202Egpj.exe\u202C <eve@example.org>\x07%s & co");
        dlg.SetDlgItemText(IDC_LABEL, userId);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_LABEL), userId);
        const CString shown = d.ShownText(IDC_LABEL);
        EXPECT_EQ(shown.Find(u'\u202E'), -1);
        EXPECT_NE(shown.Find(u'\u2407'), -1); // BEL as its control picture
        EXPECT_NE(shown.Find(u"%s & co"), -1); // "&" of a text set later is shown as written
        dlg.list.SetItemText(0, 0, u"\u05E9\u05DC\u05D5\u05DD <shalom@example.org>");
        EXPECT_EQ(dlg.list.GetItemText(0, 0), CString(u"\u05E9\u05DC\u05D5\u05DD <shalom@example.org>"));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(DialogFrameworkTest, ControlsMoveInClientCoordinatesAndTheDialogReportsItsSize)
{
    TestDialog dlg(WS_THICKFRAME);
    std::vector<std::pair<int, int>> sizes;
    dlg.MapMessage(WM_SIZE, [&](WPARAM, LPARAM l) {
        sizes.push_back({LOWORD(l), HIWORD(l)});
        return LRESULT(0);
    });
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        CWnd* ok = dlg.GetDlgItem(IDOK);
        ok->MoveWindow(10, 20, 60, 25);
        EXPECT_EQ(d.Rect(IDOK), CRect(10, 20, 70, 45));
        CRect r;
        ok->GetWindowRect(r);
        dlg.ScreenToClient(r);
        EXPECT_EQ(r, CRect(10, 20, 70, 45));
        CRect client;
        dlg.GetClientRect(client);
        CRect frame;
        dlg.GetWindowRect(frame);
        sizes.clear();
        dlg.MoveWindow(frame.left, frame.top, frame.Width() + 40, frame.Height() + 30);
        ASSERT_FALSE(sizes.empty());
        EXPECT_EQ(sizes.back(), std::make_pair(client.Width() + 40, client.Height() + 30));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(DialogFrameworkTest, ADialogImageIsWrittenAsPng)
{
    testsupport::TempDir dir;
    const std::string path = (dir / "dialog.png").string();
    TestDialog dlg;
    automation.OnDialog(IDD_TEST, [&](ModalDriver& d) {
        EXPECT_TRUE(d.SavePng(CString::FromUtf8(path)));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
    std::ifstream in(path, std::ios::binary);
    char signature[8] = {};
    in.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
    EXPECT_FALSE(platform::gui::SaveWindowImage(nullptr, CString::FromUtf8(path)));
}

TEST_F(DialogFrameworkTest, RegisteredMessagesAreUniquePerName)
{
    const UINT a = RegisterWindowMessageW(u"WM_XLISTCTRL_CHECKBOX_CLICKED");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageW(u"wm_xlistctrl_checkbox_clicked"), a);
    EXPECT_NE(RegisterWindowMessageW(u"WM_XLISTCTRL_BUTTON_CLICKED"), a);
}

TEST_F(DialogFrameworkTest, DeadHandlesAreHarmless)
{
    HWND stale = nullptr;
    TestDialog dlg;
    dlg.onInit = [&](TestDialog& self) { stale = self.GetDlgItem(IDOK)->m_hWnd; };
    dlg.onInit = [&](TestDialog& self) {
        stale = self.GetDlgItem(IDOK)->m_hWnd;
        self.EndDialog(IDOK);
    };
    dlg.DoModal();
    EXPECT_FALSE(::IsWindow(stale));
    EXPECT_EQ(CWnd::FromHandle(stale), nullptr);
    EXPECT_FALSE(::PostMessageW(stale, WM_CLOSE, 0, 0));
    EXPECT_EQ(dlg.list.m_hWnd, nullptr); // attached controls were detached
    EXPECT_EQ(dlg.list.GetItemCount(), 0);
}

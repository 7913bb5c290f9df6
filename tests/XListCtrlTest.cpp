// The check-box list control on real widgets: check boxes and the header
// check box, disabled rows, button and combo cells, progress texts, tool
// tips, the empty-list message, and the messages to the parent.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>

#include "TestEnvironment.h"
#include "platform/gui/Automation.h"
#include "platform/gui/Dialog.h"
#include "platform/gui/Gui.h"
#include "platform/gui/Gui_qt.h"
#include "ui/XListCtrl.h"

using platform::gui::Automation;
using platform::gui::ModalDriver;

namespace {

constexpr int IDC_LIST = 100;
constexpr UINT IDD_LIST = 7101;

platform::DialogTemplate ListTemplate()
{
    platform::DialogTemplate t;
    t.id = IDD_LIST;
    t.caption = u"List";
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;
    t.cx = 330;
    t.cy = 150;
    t.fontName = u"MS Shell Dlg";
    t.fontPointSize = 8;
    platform::DialogControl list;
    list.id = IDC_LIST;
    list.className = u"SysListView32";
    list.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS;
    list.x = 7;
    list.y = 7;
    list.cx = 316;
    list.cy = 115;
    platform::DialogControl cancel;
    cancel.id = IDCANCEL;
    cancel.className = u"Button";
    cancel.text = u"Cancel";
    cancel.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    cancel.x = 273;
    cancel.y = 129;
    cancel.cx = 50;
    cancel.cy = 14;
    t.controls = {list, cancel};
    return t;
}

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Message& other) const
    {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

class ListCombo : public CXListCtrl {
public:
    std::vector<std::pair<int, int>> changes; // (row, choice)

protected:
    void ComboboxItemChanged(int item, int, int choice) override { changes.push_back({item, choice}); }
};

// A dialog with one CXListCtrl: rows "row 0".. with a check box in column 0.
class ListDialog : public CDialog {
public:
    explicit ListDialog(int rows = 4) : m_rows(rows)
    {
        InitModalIndirect(ListTemplate());
        for (UINT message : {WM_XLISTCTRL_CHECKBOX_CLICKED, WM_XLISTCTRL_BUTTON_CLICKED, WM_XLISTCTRL_COMBO_SELECTION}) {
            MapMessage(message, [this, message](WPARAM w, LPARAM l) {
                messages.push_back({message, w, l});
                return LRESULT(0);
            });
        }
    }
    ListCombo list;
    std::vector<Message> messages;
    std::function<void(ListDialog&)> setup;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_LIST, list); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        list.InsertColumn(0, u"", LVCFMT_LEFT, 30);
        list.InsertColumn(1, u"Name", LVCFMT_LEFT, 200);
        list.InsertColumn(2, u"", LVCFMT_LEFT, 90);
        for (int i = 0; i < m_rows; ++i) {
            CString name;
            name.Format(u"row %d", i);
            const int row = list.InsertItem(list.GetItemCount(), u"");
            list.SetCheckbox(row, 0, 0);
            list.SetItemText(row, 1, name);
        }
        if (setup)
            setup(*this);
        return TRUE;
    }

private:
    int m_rows;
};

class XListCtrlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(platform::gui::InitGui()); }
    void TearDown() override { EXPECT_TRUE(automation.Unexpected().empty()); }
    Automation automation;
};

Message Checkbox(int row, int column)
{
    return {WM_XLISTCTRL_CHECKBOX_CLICKED, static_cast<WPARAM>(row), static_cast<LPARAM>(column)};
}

} // namespace

TEST_F(XListCtrlTest, ClicksToggleCheckBoxesWithoutSelectingAndTellTheParent)
{
    ListDialog dlg;
    dlg.setup = [](ListDialog& self) { self.list.SetCheckbox(1, 0, 2); };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        d.ListClick(IDC_LIST, 1, 0); // indeterminate -> cleared
        EXPECT_EQ(dlg.list.GetCheckbox(1, 0), 0);
        d.ListClick(IDC_LIST, 1, 0); // cleared -> checked
        EXPECT_EQ(dlg.list.GetCheckbox(1, 0), 1);
        d.ListClick(IDC_LIST, 1, 0);
        EXPECT_EQ(dlg.list.GetCheckbox(1, 0), 0);
        EXPECT_FALSE(d.ListIsSelected(IDC_LIST, 1)); // the press was the check box's
        d.ListClick(IDC_LIST, 2, 1);                 // a text cell selects as usual
        EXPECT_TRUE(d.ListIsSelected(IDC_LIST, 2));
        EXPECT_EQ(dlg.list.GetCurSel(), 2);
        d.ListKey(IDC_LIST, VK_SPACE); // Space toggles the focused row's check box
        EXPECT_EQ(dlg.list.GetCheckbox(2, 0), 1);
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.messages, (std::vector<Message>{Checkbox(1, 0), Checkbox(1, 0), Checkbox(1, 0), Checkbox(2, 0)}));
}

TEST_F(XListCtrlTest, TheHeaderCheckBoxFollowsTheRowsAndSetsThemAll)
{
    ListDialog dlg(3);
    dlg.setup = [](ListDialog& self) { self.list.SetCheckboxInHeader(0); };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        CXListCtrl& list = dlg.list;
        EXPECT_EQ(list.GetHeaderCheckedState(0), 0);
        EXPECT_EQ(list.GetHeaderCheckedState(1), -1); // no header check box there
        for (int row = 0; row < 3; ++row)
            d.ListClick(IDC_LIST, row, 0);
        EXPECT_EQ(list.GetHeaderCheckedState(0), 1);
        d.ListClick(IDC_LIST, 1, 0);
        EXPECT_EQ(list.GetHeaderCheckedState(0), 2);
        EXPECT_EQ(list.CountCheckedItems(0), 2);
        list.SetCheckbox(0, 0, 0);
        list.SetCheckbox(2, 0, 0);
        EXPECT_EQ(list.GetHeaderCheckedState(0), 0);

        list.SetCheckbox(0, 0, 1);
        EXPECT_EQ(list.GetHeaderCheckedState(0), 2);
        dlg.messages.clear();
        d.ListHeaderClick(IDC_LIST, 0); // indeterminate -> cleared, for every row
        EXPECT_EQ(list.GetHeaderCheckedState(0), 0);
        EXPECT_EQ(list.CountCheckedItems(0), 0);
        d.ListHeaderClick(IDC_LIST, 0);
        EXPECT_EQ(list.CountCheckedItems(0), 3);
        d.ListHeaderClick(IDC_LIST, 1); // no header check box: only the message
        EXPECT_EQ(list.CountCheckedItems(0), 3);
        EXPECT_EQ(dlg.messages, (std::vector<Message>{Checkbox(-1, 0), Checkbox(-1, 0), Checkbox(-1, 1)}));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(XListCtrlTest, DisabledRowsAndCellsIgnoreClicks)
{
    ListDialog dlg;
    dlg.setup = [](ListDialog& self) {
        self.list.SetEnabled(1, FALSE);
        self.list.SetCheckbox(2, 2, 0);
        self.list.SetEnabled(2, 2, FALSE); // only that check box cell of row 2
    };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        d.ListClick(IDC_LIST, 1, 0);
        d.ListClick(IDC_LIST, 1, 1);
        EXPECT_EQ(dlg.list.GetCheckbox(1, 0), 0);
        EXPECT_FALSE(d.ListIsSelected(IDC_LIST, 1)); // neither toggles nor selects
        d.ListClick(IDC_LIST, 2, 2);
        EXPECT_EQ(dlg.list.GetCheckbox(2, 2), 0);
        EXPECT_FALSE(dlg.list.GetEnabled(1));
        EXPECT_TRUE(dlg.list.GetEnabled(2));
        EXPECT_FALSE(dlg.list.GetEnabled(2, 2));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_TRUE(dlg.messages.empty());
}

TEST_F(XListCtrlTest, AButtonCellReportsItsRowLowAndColumnHigh)
{
    ListDialog dlg;
    dlg.setup = [](ListDialog& self) {
        for (int row = 0; row < 4; ++row)
            self.list.SetButton(row, 2, u"Remove");
        self.list.SetEnabled(3, FALSE);
    };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        d.ListClick(IDC_LIST, 2, 2);
        d.ListClick(IDC_LIST, 3, 2); // disabled row: no message
        EXPECT_EQ(dlg.list.GetItemText(2, 2), CString(u"Remove"));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0].message, WM_XLISTCTRL_BUTTON_CLICKED);
    EXPECT_EQ(dlg.messages[0].wParam, static_cast<WPARAM>(IDC_LIST));
    EXPECT_EQ(LOWORD(dlg.messages[0].lParam), 2);
    EXPECT_EQ(HIWORD(dlg.messages[0].lParam), 2);
}

TEST_F(XListCtrlTest, ComboCellsOpenAfterAPressOnTheirButtonAndReportTheChoice)
{
    ListDialog dlg;
    dlg.setup = [](ListDialog& self) {
        self.list.SetComboBox(1, 2, TRUE, {{u"low", 10}, {u"middle", 20}, {u"high", 30}}, 5, 0);
    };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        CXListCtrl& list = dlg.list;
        EXPECT_EQ(list.GetComboText(1, 2), CString(u"low"));
        EXPECT_TRUE(list.IsComboBoxItem(1, 2));
        EXPECT_FALSE(list.IsComboBoxItem(0, 2));
        EXPECT_EQ(list.GetComboItemCount(1, 2), 3);
        const CRect cell = d.ListCellRect(IDC_LIST, 1, 2);
        d.ListClickAt(IDC_LIST, CPoint(cell.right - cell.Height() / 2, cell.CenterPoint().y));
        QListWidget* popup = nullptr;
        ASSERT_TRUE(d.WaitUntil(
            [&] {
                popup = qobject_cast<QListWidget*>(QApplication::activePopupWidget());
                return popup != nullptr;
            },
            3000));
        EXPECT_EQ(popup->count(), 3);
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(popup, &down);
        QCoreApplication::sendEvent(popup, &down);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(popup, &enter);
        EXPECT_EQ(list.GetComboText(1, 2), CString(u"high"));
        EXPECT_EQ(list.GetComboSel(1, 2), 2);
        EXPECT_EQ(list.GetSelectedComboItemData(1, 2), static_cast<DWORD_PTR>(30));
        EXPECT_TRUE(list.SetComboSelByData(1, 2, 20));
        EXPECT_EQ(list.GetComboText(1, 2), CString(u"middle"));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
    ASSERT_EQ(dlg.messages.size(), 1u);
    EXPECT_EQ(dlg.messages[0], (Message{WM_XLISTCTRL_COMBO_SELECTION, 1, 2}));
    EXPECT_EQ(dlg.list.changes, (std::vector<std::pair<int, int>>{{1, 2}}));
}

TEST_F(XListCtrlTest, ToolTipsUseTheRowTimesThousandRuleAndShowTextsAsWritten)
{
    ListDialog dlg;
    const CString tip = u"Alice %s %d%% <b>not bold</b> \u202Eevil\u202C\nsecond line";
    dlg.setup = [&](ListDialog& self) { self.list.SetItemToolTipText(3, 1, tip); };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        CXListCtrl& list = dlg.list;
        const CRect cell = d.ListCellRect(IDC_LIST, 3, 1);
        TOOLINFO info{};
        EXPECT_EQ(list.OnToolHitTest(cell.CenterPoint(), &info), 3 * 1000 + 1 + 1);
        EXPECT_EQ(CRect(info.rect), cell);
        EXPECT_EQ(list.GetToolTipText(3002), tip);
        EXPECT_EQ(list.OnToolHitTest(CPoint(cell.CenterPoint().x, 2), &info), -1); // the header
        const CString shown = d.ListToolTip(IDC_LIST, 3, 1);
        EXPECT_NE(shown.Find(u"Alice %s %d%% <b>not bold</b> "), -1) << shown.ToUtf8();
        EXPECT_EQ(shown.Find(u'\u202E'), -1);
        EXPECT_NE(shown.Find(u"second line"), -1);
        EXPECT_EQ(d.ListToolTip(IDC_LIST, 2, 1), CString()); // no tip, nothing shown
        list.DeleteAllToolTips();
        EXPECT_EQ(list.GetItemToolTipText(3, 1), CString());
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(XListCtrlTest, ProgressTextsReadOnlyTheirPercentAsAFormat)
{
    EXPECT_EQ(CXListCtrl::ProgressText(u"", 42), CString(u"42%"));
    EXPECT_EQ(CXListCtrl::ProgressText(u"%d%%", 100), CString(u"100%"));
    EXPECT_EQ(CXListCtrl::ProgressText(u"Encrypting 100% secret %s.txt: %d%% (%n %x %d)", 7),
              CString(u"Encrypting 100% secret %s.txt: 7% (%n %x %d)"));
    EXPECT_EQ(CXListCtrl::ProgressText(u"no number", 5), CString(u"no number"));
}

TEST_F(XListCtrlTest, OutOfRangeIndexesChangeNothing)
{
    ListDialog dlg(2);
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        CXListCtrl& list = dlg.list;
        EXPECT_EQ(list.GetCheckbox(5, 0), -1);
        EXPECT_EQ(list.GetCheckbox(0, 7), -1);
        EXPECT_EQ(list.GetCheckbox(0, 1), -1); // a cell without a check box
        EXPECT_FALSE(list.SetCheckbox(-1, 0, 1));
        EXPECT_FALSE(list.SetItemText(2, 0, u"x"));
        EXPECT_FALSE(list.SetButton(0, 3, u"x"));
        EXPECT_FALSE(list.SetItemToolTipText(9, 0, u"x"));
        EXPECT_EQ(list.GetItemData(9), static_cast<DWORD_PTR>(0));
        EXPECT_FALSE(list.SetEnabled(9, FALSE));
        EXPECT_FALSE(list.GetBold(0, 9));
        EXPECT_EQ(list.GetComboItemCount(9, 9), 0);
        EXPECT_EQ(list.GetComboSel(0, 0), -1);
        EXPECT_EQ(list.GetCurSel(), -1);
        EXPECT_FALSE(list.SetCurSel(5));
        list.UpdateProgress(7, 0, 50);
        EXPECT_EQ(list.GetItemCount(), 2);
        EXPECT_EQ(list.InsertItem(-3, u"x"), -1);
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(XListCtrlTest, CallerDataLivesBesideTheCellRecordsAndSortsByIt)
{
    ListDialog dlg(3);
    dlg.setup = [](ListDialog& self) {
        for (int row = 0; row < 3; ++row)
            self.list.SetItemData(row, static_cast<DWORD_PTR>(30 - row * 10));
        self.list.SetCheckbox(2, 0, 1);
    };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        CXListCtrl& list = dlg.list;
        list.SortItems([](LPARAM a, LPARAM b, LPARAM) { return static_cast<int>(a - b); }, 0);
        EXPECT_EQ(list.GetItemText(0, 1), CString(u"row 2"));
        EXPECT_EQ(list.GetItemData(0), static_cast<DWORD_PTR>(10));
        EXPECT_EQ(list.GetCheckbox(0, 0), 1); // the records moved with their rows
        EXPECT_TRUE(list.DeleteItem(0));
        EXPECT_EQ(list.GetItemData(0), static_cast<DWORD_PTR>(20));
        EXPECT_TRUE(list.DeleteAllItems());
        EXPECT_EQ(list.GetItemCount(), 0);
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

namespace {

// Pixels of the list's rows area that are not the window colour.
int InkBelow(const QImage& image, const CRect& list, int top)
{
    const QRgb window = QColor(GetRValue(GetSysColor(COLOR_WINDOW)), GetGValue(GetSysColor(COLOR_WINDOW)),
                               GetBValue(GetSysColor(COLOR_WINDOW)))
                            .rgb();
    int ink = 0;
    for (int y = top; y < list.bottom - 4; ++y) {
        for (int x = list.left + 4; x < list.right - 4; ++x) {
            if (image.pixel(x, y) != window)
                ++ink;
        }
    }
    return ink;
}

} // namespace

TEST_F(XListCtrlTest, AnEmptyListShowsItsMessageAndAListWithRowsDoesNot)
{
    testsupport::TempDir dir;
    ListDialog dlg(0);
    dlg.setup = [](ListDialog& self) { self.list.SetEmptyMessageText(u"There are no keys in your key ring."); };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        const CRect list = d.Rect(IDC_LIST);
        const CRect area(0, 0, list.Width(), list.Height());
        auto inkBelow = [&](const char* name, int top) {
            const std::string path = (dir / name).string();
            EXPECT_TRUE(platform::gui::SaveWindowImage(dlg.GetDlgItem(IDC_LIST)->m_hWnd, CString::FromUtf8(path)));
            return InkBelow(QImage(QString::fromStdString(path)), area, top);
        };
        CRect header;
        dlg.list.GetHeaderCtrl()->GetItemRect(0, header);
        const int below = header.bottom + 4; // the header and the list's frame
        EXPECT_GT(inkBelow("empty-message.png", below), 20);
        dlg.list.SetEmptyMessageText(u"");
        EXPECT_EQ(inkBelow("empty-plain.png", below), 0);
        dlg.list.SetEmptyMessageText(u"There are no keys in your key ring.");
        dlg.list.InsertItem(0, u"");
        // With a row, nothing is drawn below it.
        const CRect row = d.ListCellRect(IDC_LIST, 0, 1);
        EXPECT_EQ(inkBelow("one-row.png", row.bottom + 4), 0);
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(XListCtrlTest, EveryKindOfCellAsAUserSeesIt)
{
    ListDialog dlg(5);
    dlg.setup = [](ListDialog& self) {
        CXListCtrl& list = self.list;
        list.SetCheckboxInHeader(0);
        list.SetCheckbox(0, 0, 1);
        list.SetCheckbox(1, 0, 2);
        list.SetItemText(0, 1, u"Alice Example <alice@example.org>");
        list.SetItemColor(0, 1, RGB(28, 81, 203), GetSysColor(COLOR_WINDOW));
        list.SetBold(1, 1, TRUE);
        list.SetItemText(1, 1, u"J\u00FCrgen M\u00FCller \u05E9\u05DC\u05D5\u05DD <jm@example.org>");
        list.SetItemText(2, 1, u"Control\x07\x1B characters and 100% %s");
        list.SetEnabled(2, FALSE);
        list.SetButton(0, 2, u"Remove");
        list.SetProgress(3, 2, TRUE, u"%d%% of 100% done");
        list.UpdateProgress(3, 2, 40);
        list.SetComboBox(4, 2, TRUE, {{u"low", 1}, {u"high", 2}}, 5, 1);
        list.SetItemText(4, 1, u"A very long user id that does not fit into its column at all <someone@example.org>");
        list.SetCurSel(4);
    };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        const std::filesystem::path folder = testsupport::BinDir().parent_path() / "test-images";
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(d.SavePng(CString::FromUtf8((folder / "xlistctrl-cells.png").string())));
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(XListCtrlTest, AColumnSizedToItsCellsShowsThemWholeAlsoInBold)
{
    ListDialog dlg(3);
    const CString longest = u"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW";
    dlg.setup = [&](ListDialog& self) {
        self.list.SetItemText(1, 1, longest);
        self.list.SetBold(1, 1, TRUE);
        self.list.SetColumnWidth(1, LVSCW_AUTOSIZE);
    };
    automation.OnDialog(IDD_LIST, [&](ModalDriver& d) {
        QFont bold = platform::gui::qt::Widget(dlg.list.m_hWnd)->font();
        bold.setBold(true);
        // The text keeps 6 pixels from each edge of its cell.
        const int textWidth = QFontMetrics(bold).horizontalAdvance(platform::gui::qt::ToQ(longest));
        EXPECT_GE(dlg.list.GetColumnWidth(1), textWidth + 12);
        d.Click(IDCANCEL);
    });
    dlg.DoModal();
}

// The window of the Open and Save dialog on the dialog framework: a
// resizable dialog with the folder box and the Up button, the file list, the
// file name box and the file types, the application's added controls under
// them (each visual group a group box), and the OK and Cancel buttons. Built
// from a template made at run time, so that the test automation of the
// framework finds it by kTemplateId and its controls by id.
#include "platform/shell/dialog/FileDialogWindow.h"

#include <algorithm>
#include <map>

#include "platform/gui/Button.h"
#include "platform/gui/ComboBox.h"
#include "platform/gui/Dialog.h"
#include "platform/gui/Edit.h"
#include "platform/gui/Gui.h"
#include "platform/gui/ListCtrl.h"
#include "platform/shell/dialog/FileDialogIds.h"

namespace platform {

namespace {

using namespace filedialog;
using EKind = CCustomControls::EKind;

// Sizes in dialog units.
constexpr int kMargin = 7;
constexpr int kGap = 4;
constexpr int kRow = 14;       // edits, combo boxes, push buttons
constexpr int kCheckRow = 10;  // check and radio buttons
constexpr int kTextLine = 9;   // one line of a text
constexpr int kLabelWidth = 60;
constexpr int kButtonWidth = 50;
constexpr int kInitialWidth = 400;
constexpr int kListHeight = 150;
constexpr int kComboDropHeight = 120;
constexpr int kGroupTop = 11;  // a group box's label line
constexpr int kGroupBottom = 5;

int LineCount(const CString& text)
{
    int lines = 1;
    for (int i = 0; i < text.GetLength(); ++i)
        if (text[i] == u'\n')
            ++lines;
    return lines;
}

// Labels with "\r\n" show one line break, as on Windows.
CString LabelText(const CString& text)
{
    CString shown = text;
    shown.Replace(u"\r\n", u"\n");
    return shown;
}

DialogControl MakeControl(int id, const char16_t* className, const CString& text, DWORD style)
{
    DialogControl control;
    control.id = id;
    control.className = className;
    control.text = text;
    control.style = WS_CHILD | WS_VISIBLE | style;
    return control;
}

// A label's text without its mnemonic marks ("&&" stays one '&'), for texts
// set after the window exists, which show as written.
CString WithoutMnemonics(const CString& text)
{
    CString plain;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (text[i] == u'&' && i + 1 < text.GetLength())
            ++i;
        plain += text[i];
    }
    return plain;
}

class CFileDialogWindow : public CDialog, public IFileDialogWindow {
public:
    explicit CFileDialogWindow(CFileDialogSession& session) : m_session(session) {}

    // ---- IFileDialogWindow ---------------------------------------------------------------------
    bool Run(HWND owner) override
    {
        bool wasRunning = gui::IsGuiRunning();
        InitModalIndirect(BuildTemplate(), CWnd::FromHandle(owner));
        INT_PTR result = DoModal();
        m_startedGui = !wasRunning && gui::IsGuiRunning();
        return result != -1;
    }
    HWND Handle() const override { return m_hWnd; }
    bool StartedGui() const override { return m_startedGui; }

    // ---- CFileDialogSession::IView ----------------------------------------------------------------
    void ShowFolder() override;
    void ShowFileName() override;
    void ShowFileType() override;
    void ShowTexts() override;
    void ShowControl(DWORD id) override;
    void EndDialog() override { CDialog::EndDialog(m_session.CloseResult() == S_OK ? IDOK : IDCANCEL); }
    int Ask(const CString& text, UINT type) override { return ::MessageBoxW(m_hWnd, text, Caption(), type); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override { m_session.UserCancel(); }
    void OnSize(UINT type, int cx, int cy) override
    {
        CDialog::OnSize(type, cx, cy);
        if (m_initialised)
            Layout();
    }

private:
    // The window of one added control.
    struct SWidget {
        DWORD appId = 0;
        EKind kind = CCustomControls::eText;
        int windowId = 0;
        int labelId = 0;                           // edit and combo boxes with a label
        std::vector<std::pair<DWORD, int>> items;  // radio buttons: item id and window id
        std::vector<DWORD> entries;                // combo boxes, menus, the drop-down: item id per entry
        int lines = 1;                             // texts
    };

    CString Caption() const;
    CString OkText() const;
    CString FileNameLabel() const;
    int FreeId(int wanted);
    DialogTemplate BuildTemplate();
    void AddWidgetControls(DialogTemplate& dlg, const CCustomControls::SControl& control);
    int CustomHeight(const SWidget& widget) const;
    int CustomAreaHeight() const;
    void Layout();
    void Place(int id, int x, int y, int cx, int cy);
    SWidget* FindWidget(DWORD appId);
    void MapWidget(const SWidget& widget);
    void FillEntries(SWidget& widget, const CCustomControls::SControl& control);
    void OnListSelection(NMHDR*, LRESULT*);
    void OnListDoubleClick(NMHDR* header, LRESULT*);

    CFileDialogSession& m_session;
    bool m_startedGui = false;
    bool m_initialised = false;
    bool m_updating = false; // our own changes of the controls are not the user's
    std::vector<int> m_usedIds;
    int m_nextSpare = kFirstSpareId;
    std::vector<SWidget> m_widgets;
    bool m_hasProminent = false;
    DWORD m_prominent = 0;
    std::vector<CString> m_folderEntries;

    CListCtrl m_list;
    CEdit m_name;
    CComboBox m_types;
    CComboBox m_folders;
};

CString CFileDialogWindow::Caption() const
{
    if (!m_session.Title().IsEmpty())
        return m_session.Title();
    return m_session.Mode() == CFileDialogSession::eOpen ? u"Open" : u"Save As";
}

CString CFileDialogWindow::OkText() const
{
    if (!m_session.OkLabel().IsEmpty())
        return m_session.OkLabel();
    if (m_session.Options() & FOS_PICKFOLDERS)
        return u"Select &Folder";
    return m_session.Mode() == CFileDialogSession::eOpen ? u"&Open" : u"&Save";
}

CString CFileDialogWindow::FileNameLabel() const
{
    if (!m_session.FileNameLabel().IsEmpty())
        return m_session.FileNameLabel();
    return m_session.Options() & FOS_PICKFOLDERS ? u"&Folder:" : u"File &name:";
}

int CFileDialogWindow::FreeId(int wanted)
{
    auto used = [this](int id) { return std::find(m_usedIds.begin(), m_usedIds.end(), id) != m_usedIds.end(); };
    int id = wanted;
    if (id <= 0 || id > kLastAddedControlId || used(id)) {
        do
            id = m_nextSpare++;
        while (used(id));
    }
    m_usedIds.push_back(id);
    return id;
}

DialogTemplate CFileDialogWindow::BuildTemplate()
{
    m_usedIds = {kOkButton,      kCancelButton, kFileList,     kTypeCombo, kFolderCombo, kFileNameEdit,
                 kTypeLabel,     kFileNameLabel, kFolderLabel, kUpButton,  kOpenDropDown};
    DialogTemplate dlg;
    dlg.id = kTemplateId;
    dlg.caption = Caption();
    dlg.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME | DS_SHELLFONT;
    dlg.fontName = u"MS Shell Dlg";
    dlg.fontPointSize = 8;

    // Tab order: name box first (the focus), then type, buttons, list, folder.
    // Labels come just before the control they name, so their mnemonics work.
    const bool open = m_session.Mode() == CFileDialogSession::eOpen;
    dlg.controls.push_back(MakeControl(kFileNameLabel, u"Static", FileNameLabel(), SS_LEFT));
    dlg.controls.push_back(MakeControl(kFileNameEdit, u"Edit", u"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL));
    dlg.controls.push_back(
        MakeControl(kTypeLabel, u"Static", open ? u"Files of &type:" : u"Save as &type:", SS_LEFT));
    DialogControl types = MakeControl(kTypeCombo, u"ComboBox", u"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL);
    types.cy = kComboDropHeight;
    dlg.controls.push_back(types);

    // The application's controls, in the order it added them.
    m_widgets.clear();
    const CCustomControls& controls = m_session.Controls();
    m_hasProminent = controls.HasProminent();
    m_prominent = controls.Prominent();
    for (const auto& control : controls.Controls())
        AddWidgetControls(dlg, control);

    if (const CCustomControls::SControl* dropDown = controls.OpenDropDown()) {
        SWidget widget;
        widget.appId = dropDown->id;
        widget.kind = CCustomControls::eOpenDropDown;
        widget.windowId = kOpenDropDown;
        DialogControl combo = MakeControl(kOpenDropDown, u"ComboBox", u"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL);
        combo.cy = kComboDropHeight;
        dlg.controls.push_back(combo);
        m_widgets.push_back(widget);
    }
    dlg.controls.push_back(MakeControl(kOkButton, u"Button", OkText(), WS_TABSTOP | BS_DEFPUSHBUTTON));
    dlg.controls.push_back(MakeControl(kCancelButton, u"Button", u"Cancel", WS_TABSTOP | BS_PUSHBUTTON));
    DialogControl list = MakeControl(kFileList, u"SysListView32", u"",
                                     WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS |
                                         (m_session.Options() & FOS_ALLOWMULTISELECT &&
                                                  m_session.Mode() == CFileDialogSession::eOpen
                                              ? 0
                                              : LVS_SINGLESEL));
    dlg.controls.push_back(list);
    dlg.controls.push_back(MakeControl(kFolderLabel, u"Static", open ? u"Look &in:" : u"Save &in:", SS_LEFT));
    DialogControl folders = MakeControl(kFolderCombo, u"ComboBox", u"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL);
    folders.cy = kComboDropHeight;
    dlg.controls.push_back(folders);
    dlg.controls.push_back(MakeControl(kUpButton, u"Button", u"&Up", WS_TABSTOP | BS_PUSHBUTTON));

    // Everything is placed by Layout once the window exists; the template
    // only gives the first size.
    dlg.cx = kInitialWidth;
    dlg.cy = kMargin + kRow + kGap + kListHeight + kGap + kRow + kGap + kRow + kGap + CustomAreaHeight() + kRow +
             kMargin;
    for (auto& control : dlg.controls) {
        if (control.cx == 0)
            control.cx = 10;
        if (control.cy == 0)
            control.cy = 10;
    }
    return dlg;
}

void CFileDialogWindow::AddWidgetControls(DialogTemplate& dlg, const CCustomControls::SControl& control)
{
    if (control.kind == CCustomControls::eOpenDropDown)
        return;
    SWidget widget;
    widget.appId = control.id;
    widget.kind = control.kind;
    widget.windowId = FreeId(static_cast<int>(std::min<DWORD>(control.id, 0x7FFFFFFF)));
    CString label = LabelText(control.label);
    switch (control.kind) {
    case CCustomControls::eVisualGroup:
        dlg.controls.push_back(MakeControl(widget.windowId, u"Button", label, BS_GROUPBOX));
        break;
    case CCustomControls::eCheckButton:
        dlg.controls.push_back(MakeControl(widget.windowId, u"Button", label, WS_TABSTOP | BS_AUTOCHECKBOX));
        break;
    case CCustomControls::ePushButton:
        dlg.controls.push_back(MakeControl(widget.windowId, u"Button", label, WS_TABSTOP | BS_PUSHBUTTON));
        break;
    case CCustomControls::eText:
        widget.lines = LineCount(label);
        dlg.controls.push_back(MakeControl(widget.windowId, u"Static", label, SS_LEFT | SS_NOPREFIX));
        break;
    case CCustomControls::eSeparator:
        dlg.controls.push_back(MakeControl(widget.windowId, u"Static", u"", SS_ETCHEDHORZ));
        break;
    case CCustomControls::eEditBox:
        widget.labelId = FreeId(0);
        dlg.controls.push_back(MakeControl(widget.labelId, u"Static", label, SS_LEFT));
        dlg.controls.push_back(MakeControl(widget.windowId, u"Edit", control.text, WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL));
        break;
    case CCustomControls::eComboBox:
    case CCustomControls::eMenu: {
        if (control.kind == CCustomControls::eComboBox) {
            widget.labelId = FreeId(0);
            dlg.controls.push_back(MakeControl(widget.labelId, u"Static", label, SS_LEFT));
        }
        DialogControl combo = MakeControl(widget.windowId, u"ComboBox", u"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL);
        combo.cy = kComboDropHeight;
        dlg.controls.push_back(combo);
        break;
    }
    case CCustomControls::eRadioButtonList: {
        bool first = true;
        for (const auto& item : control.items) {
            int id = FreeId(0);
            widget.items.emplace_back(item.id, id);
            dlg.controls.push_back(MakeControl(id, u"Button", LabelText(item.label),
                                               BS_AUTORADIOBUTTON | (first ? WS_GROUP | WS_TABSTOP : 0)));
            first = false;
        }
        // The window id of the list itself names no window of its own.
        break;
    }
    case CCustomControls::eOpenDropDown:
        break;
    }
    m_widgets.push_back(std::move(widget));
}

int CFileDialogWindow::CustomHeight(const SWidget& widget) const
{
    const CCustomControls::SControl* control = m_session.Controls().Find(widget.appId);
    if (!control || !(control->state & CDCS_VISIBLE))
        return 0;
    switch (widget.kind) {
    case CCustomControls::eCheckButton:
        return kCheckRow;
    case CCustomControls::eText:
        return widget.lines * kTextLine;
    case CCustomControls::eSeparator:
        return 5;
    case CCustomControls::eRadioButtonList:
        return static_cast<int>(widget.items.size()) * kCheckRow;
    case CCustomControls::eVisualGroup:
    case CCustomControls::eOpenDropDown:
        return 0;
    default:
        return kRow;
    }
}

// The height of the added controls under the file name: each control on a
// line of its own, each visual group in a box around its members.
int CFileDialogWindow::CustomAreaHeight() const
{
    int height = 0;
    for (const SWidget& widget : m_widgets) {
        if (m_hasProminent && widget.appId == m_prominent)
            continue;
        const CCustomControls::SControl* control = m_session.Controls().Find(widget.appId);
        if (!control || control->inGroup)
            continue;
        if (widget.kind == CCustomControls::eVisualGroup) {
            if (!(control->state & CDCS_VISIBLE))
                continue;
            int inner = 0;
            for (const SWidget& member : m_widgets) {
                const CCustomControls::SControl* m = m_session.Controls().Find(member.appId);
                if (m && m->inGroup && m->group == widget.appId && !(m_hasProminent && member.appId == m_prominent)) {
                    int h = CustomHeight(member);
                    inner += h ? h + 2 : 0;
                }
            }
            height += kGroupTop + inner + kGroupBottom + kGap;
        } else {
            int h = CustomHeight(widget);
            height += h ? h + kGap : 0;
        }
    }
    return height;
}

void CFileDialogWindow::Place(int id, int x, int y, int cx, int cy)
{
    CRect rect(x, y, x + cx, y + cy);
    MapDialogRect(&rect);
    if (CWnd* control = GetDlgItem(id))
        control->MoveWindow(rect.left, rect.top, rect.Width(), rect.Height());
}

void CFileDialogWindow::Layout()
{
    CRect client;
    GetClientRect(&client);
    gui::DialogBaseUnits units = GetBaseUnits();
    const int width = std::max(gui::PixelsToDialogUnitsX(client.Width(), units), 200);
    const int height = gui::PixelsToDialogUnitsY(client.Height(), units);
    const int inner = width - 2 * kMargin;

    // Bottom row: a prominent control on the left, the drop-down, OK and Cancel on the right.
    const int buttonsTop = std::max(height - kMargin - kRow, 0);
    int x = width - kMargin - kButtonWidth;
    Place(kCancelButton, x, buttonsTop, kButtonWidth, kRow);
    x -= kGap + kButtonWidth;
    Place(kOkButton, x, buttonsTop, kButtonWidth, kRow);
    if (GetDlgItem(kOpenDropDown)) {
        x -= kGap + 80;
        Place(kOpenDropDown, x, buttonsTop, 80, kRow);
    }
    for (const SWidget& widget : m_widgets) {
        if (m_hasProminent && widget.appId == m_prominent) {
            int h = widget.kind == CCustomControls::eCheckButton ? kCheckRow : kRow;
            Place(widget.windowId, kMargin, buttonsTop + (kRow - h) / 2, std::max(x - kGap - kMargin, 20), h);
        }
    }

    // The added controls above the buttons.
    const int areaHeight = CustomAreaHeight();
    int y = buttonsTop - kGap - areaHeight;
    const int areaTop = y;
    auto placeControl = [&](const SWidget& widget, int left, int cx) {
        int h = CustomHeight(widget);
        if (h == 0)
            return 0;
        switch (widget.kind) {
        case CCustomControls::eEditBox:
        case CCustomControls::eComboBox:
            Place(widget.labelId, left, y + 2, kLabelWidth, 8);
            Place(widget.windowId, left + kLabelWidth + kGap, y, std::min(cx - kLabelWidth - kGap, 200), kRow);
            break;
        case CCustomControls::eRadioButtonList:
            for (size_t i = 0; i < widget.items.size(); ++i)
                Place(widget.items[i].second, left, y + static_cast<int>(i) * kCheckRow, cx, kCheckRow);
            break;
        case CCustomControls::ePushButton:
        case CCustomControls::eMenu: {
            const CCustomControls::SControl* c = m_session.Controls().Find(widget.appId);
            int textWidth = 4 * (c ? c->label.GetLength() : 0) + 16;
            Place(widget.windowId, left, y, std::min(cx, std::max(kButtonWidth, textWidth)), kRow);
            break;
        }
        case CCustomControls::eSeparator:
            Place(widget.windowId, left, y + 2, cx, 1);
            break;
        default:
            Place(widget.windowId, left, y, cx, h);
            break;
        }
        return h;
    };
    for (const SWidget& widget : m_widgets) {
        if (m_hasProminent && widget.appId == m_prominent)
            continue;
        const CCustomControls::SControl* control = m_session.Controls().Find(widget.appId);
        if (!control || control->inGroup || widget.kind == CCustomControls::eOpenDropDown)
            continue;
        if (widget.kind != CCustomControls::eVisualGroup) {
            int h = placeControl(widget, kMargin, inner);
            y += h ? h + kGap : 0;
            continue;
        }
        if (!(control->state & CDCS_VISIBLE))
            continue;
        const int groupTop = y;
        y += kGroupTop;
        for (const SWidget& member : m_widgets) {
            const CCustomControls::SControl* m = m_session.Controls().Find(member.appId);
            if (m && m->inGroup && m->group == widget.appId && !(m_hasProminent && member.appId == m_prominent)) {
                int h = placeControl(member, kMargin + 7, inner - 14);
                y += h ? h + 2 : 0;
            }
        }
        y += kGroupBottom;
        Place(widget.windowId, kMargin, groupTop, inner, y - groupTop);
        y += kGap;
    }

    // File name and type, the list, the folder row.
    const int nameTop = areaTop - kGap - kRow - kGap - kRow;
    const int typeTop = nameTop + kRow + kGap;
    Place(kFileNameLabel, kMargin, nameTop + 3, kLabelWidth, 8);
    Place(kFileNameEdit, kMargin + kLabelWidth, nameTop, inner - kLabelWidth, kRow);
    Place(kTypeLabel, kMargin, typeTop + 3, kLabelWidth, 8);
    Place(kTypeCombo, kMargin + kLabelWidth, typeTop, inner - kLabelWidth, kRow);
    Place(kFolderLabel, kMargin, kMargin + 3, 40, 8);
    Place(kFolderCombo, kMargin + 40, kMargin, inner - 40 - kGap - 40, kRow);
    Place(kUpButton, width - kMargin - 40, kMargin, 40, kRow);
    const int listTop = kMargin + kRow + kGap;
    Place(kFileList, kMargin, listTop, inner, std::max(nameTop - kGap - listTop, 20));

    // The name column takes what the others leave.
    CRect listRect;
    m_list.GetClientRect(&listRect);
    int others = 0;
    for (int column = kDateColumn; column <= kSizeColumn; ++column)
        others += m_list.GetColumnWidth(column);
    m_list.SetColumnWidth(kNameColumn, std::max(listRect.Width() - others - GetSystemMetrics(SM_CXVSCROLL) - 4, 120));
}

CFileDialogWindow::SWidget* CFileDialogWindow::FindWidget(DWORD appId)
{
    for (SWidget& widget : m_widgets)
        if (widget.appId == appId)
            return &widget;
    return nullptr;
}

BOOL CFileDialogWindow::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_list.SubclassDlgItem(kFileList, this);
    m_name.SubclassDlgItem(kFileNameEdit, this);
    m_types.SubclassDlgItem(kTypeCombo, this);
    m_folders.SubclassDlgItem(kFolderCombo, this);

    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    m_list.InsertColumn(kNameColumn, u"Name", LVCFMT_LEFT, 220);
    m_list.InsertColumn(kDateColumn, u"Date modified", LVCFMT_LEFT, 120);
    m_list.InsertColumn(kTypeColumn, u"Type", LVCFMT_LEFT, 80);
    m_list.InsertColumn(kSizeColumn, u"Size", LVCFMT_RIGHT, 70);

    const CFileTypes& types = m_session.FileTypes();
    for (size_t i = 0; i < types.Count(); ++i)
        m_types.AddString(types.At(i).name + u" (" + types.At(i).spec + u")");
    if (types.IsEmpty())
        m_types.AddString(u"All files");
    GetDlgItem(kTypeCombo)->EnableWindow(!types.IsEmpty());

    MapNotify(kFileList, LVN_ITEMCHANGED, &CFileDialogWindow::OnListSelection);
    MapNotify(kFileList, NM_DBLCLK, &CFileDialogWindow::OnListDoubleClick);
    MapCommand(kFileNameEdit, EN_CHANGE, CommandHandler([this] {
                   if (!m_updating)
                       m_session.UserTypeName(m_name.GetWindowText());
               }));
    MapCommand(kTypeCombo, CBN_SELCHANGE, CommandHandler([this] {
                   if (!m_updating && m_types.GetCurSel() >= 0)
                       m_session.UserChooseType(static_cast<size_t>(m_types.GetCurSel()));
               }));
    MapCommand(kFolderCombo, CBN_SELCHANGE, CommandHandler([this] {
                   int index = m_folders.GetCurSel();
                   if (m_updating || index < 0 || static_cast<size_t>(index) >= m_folderEntries.size())
                       return;
                   if (!m_session.UserNavigate(m_folderEntries[static_cast<size_t>(index)]))
                       ShowFolder(); // refused: show where the dialog still is
               }));
    MapClicked(kUpButton, CommandHandler([this] { m_session.UserGoUp(); }));
    for (const SWidget& widget : m_widgets)
        MapWidget(widget);

    ShowFileType();
    ShowFolder();
    ShowFileName();
    for (const SWidget& widget : m_widgets)
        ShowControl(widget.appId);
    m_initialised = true;
    Layout();

    m_session.RaiseOpeningEvents();
    m_name.SetFocus();
    return FALSE;
}

void CFileDialogWindow::MapWidget(const SWidget& widget)
{
    const DWORD appId = widget.appId;
    const int windowId = widget.windowId;
    switch (widget.kind) {
    case CCustomControls::eCheckButton:
        MapClicked(windowId, CommandHandler([this, appId, windowId] {
                       if (!m_updating)
                           m_session.UserToggleCheck(appId, IsDlgButtonChecked(windowId) == BST_CHECKED);
                   }));
        break;
    case CCustomControls::ePushButton:
        MapClicked(windowId, CommandHandler([this, appId] { m_session.UserClickButton(appId); }));
        break;
    case CCustomControls::eEditBox:
        MapCommand(windowId, EN_CHANGE, CommandHandler([this, appId, windowId] {
                       if (!m_updating)
                           m_session.UserEditText(appId, GetDlgItemText(windowId));
                   }));
        break;
    case CCustomControls::eRadioButtonList:
        for (const auto& [item, id] : widget.items) {
            DWORD itemId = item;
            MapClicked(id, CommandHandler([this, appId, itemId] {
                           if (!m_updating)
                               m_session.UserChooseItem(appId, itemId);
                       }));
        }
        break;
    case CCustomControls::eComboBox:
    case CCustomControls::eMenu:
    case CCustomControls::eOpenDropDown: {
        EKind kind = widget.kind;
        MapCommand(windowId, CBN_DROPDOWN, CommandHandler([this, appId, kind] {
                       if (kind != CCustomControls::eComboBox)
                           m_session.UserActivate(appId);
                   }));
        MapCommand(windowId, CBN_SELCHANGE, CommandHandler([this, appId, kind, windowId] {
                       SWidget* self = FindWidget(appId);
                       auto* combo = static_cast<CComboBox*>(GetDlgItem(windowId));
                       if (m_updating || !self || !combo)
                           return;
                       int index = combo->GetCurSel();
                       // Menus and the drop-down show their label as entry 0.
                       int first = kind == CCustomControls::eComboBox ? 0 : 1;
                       if (index < first || static_cast<size_t>(index - first) >= self->entries.size())
                           return;
                       DWORD item = self->entries[static_cast<size_t>(index - first)];
                       if (kind != CCustomControls::eComboBox) {
                           m_updating = true;
                           combo->SetCurSel(0);
                           m_updating = false;
                       }
                       if (kind == CCustomControls::eOpenDropDown)
                           m_session.UserChooseOpenItem(item);
                       else
                           m_session.UserChooseItem(appId, item);
                   }));
        break;
    }
    default:
        break;
    }
}

void CFileDialogWindow::OnListSelection(NMHDR*, LRESULT*)
{
    if (m_updating)
        return;
    std::vector<size_t> selection;
    POSITION position = m_list.GetFirstSelectedItemPosition();
    while (position) {
        int row = m_list.GetNextSelectedItem(position);
        if (row >= 0)
            selection.push_back(static_cast<size_t>(m_list.GetItemData(row)));
    }
    m_session.UserSelect(selection);
}

void CFileDialogWindow::OnListDoubleClick(NMHDR* header, LRESULT*)
{
    auto* activate = reinterpret_cast<NMITEMACTIVATE*>(header);
    if (activate->iItem >= 0)
        m_session.UserOpenEntry(static_cast<size_t>(m_list.GetItemData(activate->iItem)));
}

void CFileDialogWindow::OnOK()
{
    // Enter in the list on a folder opens it, whatever the name box holds.
    if (CWnd::GetFocus() == &m_list && m_list.GetSelectedCount() == 1) {
        int row = m_list.GetNextItem(-1, LVNI_SELECTED);
        size_t index = static_cast<size_t>(m_list.GetItemData(row));
        if (index < m_session.Listing().size() && m_session.Listing()[index].folder &&
            !(m_session.Options() & FOS_PICKFOLDERS)) {
            m_session.UserOpenEntry(index);
            return;
        }
    }
    m_session.UserConfirm();
}

// ---- following the session --------------------------------------------------------------------------

void CFileDialogWindow::ShowFolder()
{
    m_updating = true;
    m_list.SetRedraw(FALSE);
    m_list.DeleteAllItems();
    const auto& listing = m_session.Listing();
    for (size_t i = 0; i < listing.size(); ++i) {
        const auto& entry = listing[i];
        int row = m_list.InsertItem(static_cast<int>(i), entry.name);
        m_list.SetItemText(row, kDateColumn, CFolderListing::DateText(entry.modified));
        m_list.SetItemText(row, kTypeColumn, CFolderListing::TypeText(entry));
        m_list.SetItemText(row, kSizeColumn, CFolderListing::SizeText(entry));
        m_list.SetItemData(row, i);
    }
    m_list.SetRedraw(TRUE);

    // The folder box: the folder shown and its parents, then the places.
    CString folder = m_session.Folder();
    m_folderEntries.clear();
    for (CString path = folder;;) {
        m_folderEntries.insert(m_folderEntries.begin(), path);
        if (path == u"/")
            break;
        int slash = path.ReverseFind(u'/');
        path = slash <= 0 ? CString(u"/") : path.Left(slash);
    }
    for (const CString& place : m_session.Places())
        if (std::find(m_folderEntries.begin(), m_folderEntries.end(), place) == m_folderEntries.end())
            m_folderEntries.push_back(place);
    m_folders.ResetContent();
    for (const CString& entry : m_folderEntries)
        m_folders.AddString(entry);
    auto current = std::find(m_folderEntries.begin(), m_folderEntries.end(), folder);
    m_folders.SetCurSel(static_cast<int>(current - m_folderEntries.begin()));
    GetDlgItem(kUpButton)->EnableWindow(folder != u"/");
    m_updating = false;
}

void CFileDialogWindow::ShowFileName()
{
    m_updating = true;
    if (m_name.GetWindowText() != m_session.FileNameText())
        m_name.SetWindowText(m_session.FileNameText());
    m_updating = false;
}

void CFileDialogWindow::ShowFileType()
{
    m_updating = true;
    m_types.SetCurSel(static_cast<int>(m_session.TypeChoice()));
    m_updating = false;
}

void CFileDialogWindow::ShowTexts()
{
    SetWindowText(Caption());
    SetDlgItemText(kOkButton, OkText());
    SetDlgItemText(kFileNameLabel, WithoutMnemonics(FileNameLabel()));
}

void CFileDialogWindow::FillEntries(SWidget& widget, const CCustomControls::SControl& control)
{
    auto* combo = static_cast<CComboBox*>(GetDlgItem(widget.windowId));
    if (!combo)
        return;
    combo->ResetContent();
    widget.entries.clear();
    if (widget.kind != CCustomControls::eComboBox)
        combo->AddString(widget.kind == CCustomControls::eOpenDropDown && control.label.IsEmpty() ? CString(u"More")
                                                                                                  : control.label);
    int selected = -1;
    for (const auto& item : control.items) {
        if (!(item.state & CDCS_VISIBLE))
            continue;
        if (control.hasSelection && control.selected == item.id)
            selected = static_cast<int>(widget.entries.size());
        widget.entries.push_back(item.id);
        combo->AddString(item.label);
    }
    if (widget.kind == CCustomControls::eComboBox)
        combo->SetCurSel(selected);
    else
        combo->SetCurSel(0);
}

void CFileDialogWindow::ShowControl(DWORD id)
{
    SWidget* widget = FindWidget(id);
    const CCustomControls::SControl* control = m_session.Controls().Find(id);
    if (!widget || !control)
        return;
    m_updating = true;
    bool relayout = false;
    CWnd* window = GetDlgItem(widget->windowId);
    CString label = LabelText(control->label);
    switch (widget->kind) {
    case CCustomControls::eVisualGroup:
    case CCustomControls::eCheckButton:
    case CCustomControls::ePushButton:
        if (window)
            window->SetWindowText(label);
        if (widget->kind == CCustomControls::eCheckButton)
            CheckDlgButton(widget->windowId, control->checked ? BST_CHECKED : BST_UNCHECKED);
        break;
    case CCustomControls::eText:
        if (window)
            window->SetWindowText(label);
        if (LineCount(label) != widget->lines) {
            widget->lines = LineCount(label);
            relayout = true;
        }
        break;
    case CCustomControls::eEditBox:
        SetDlgItemText(widget->labelId, label);
        if (GetDlgItemText(widget->windowId) != control->text)
            SetDlgItemText(widget->windowId, control->text);
        break;
    case CCustomControls::eComboBox:
        SetDlgItemText(widget->labelId, label);
        FillEntries(*widget, *control);
        break;
    case CCustomControls::eMenu:
    case CCustomControls::eOpenDropDown:
        FillEntries(*widget, *control);
        break;
    case CCustomControls::eRadioButtonList:
        for (const auto& [item, windowId] : widget->items) {
            auto found = std::find_if(control->items.begin(), control->items.end(),
                                      [item = item](const CCustomControls::SItem& i) { return i.id == item; });
            CWnd* button = GetDlgItem(windowId);
            if (!button)
                continue;
            if (found == control->items.end()) {
                button->ShowWindow(SW_HIDE);
                continue;
            }
            button->SetWindowText(LabelText(found->label));
            button->EnableWindow((found->state & CDCS_ENABLED) && (control->state & CDCS_ENABLED));
            button->ShowWindow((found->state & CDCS_VISIBLE) && (control->state & CDCS_VISIBLE) ? SW_SHOW : SW_HIDE);
            CheckDlgButton(windowId, control->hasSelection && control->selected == item ? BST_CHECKED : BST_UNCHECKED);
        }
        break;
    case CCustomControls::eSeparator:
        break;
    }

    // Enabled and visible, for the control and its label.
    bool enabled = (control->state & CDCS_ENABLED) != 0;
    bool visible = (control->state & CDCS_VISIBLE) != 0;
    if (control->inGroup) {
        CDCONTROLSTATEF groupState = CDCS_ENABLEDVISIBLE;
        m_session.Controls().GetControlState(control->group, groupState);
        visible = visible && (groupState & CDCS_VISIBLE);
        enabled = enabled && (groupState & CDCS_ENABLED);
    }
    for (int windowId : {widget->windowId, widget->labelId}) {
        if (widget->kind == CCustomControls::eRadioButtonList || windowId == 0)
            continue;
        if (CWnd* part = GetDlgItem(windowId)) {
            part->EnableWindow(enabled);
            if (part->IsWindowVisible() != (visible ? TRUE : FALSE)) {
                part->ShowWindow(visible ? SW_SHOW : SW_HIDE);
                relayout = true;
            }
        }
    }
    // A group shows or hides its members with it.
    if (widget->kind == CCustomControls::eVisualGroup) {
        for (const auto& member : m_session.Controls().Controls())
            if (member.inGroup && member.group == id && member.id != id)
                ShowControl(member.id);
    }
    m_updating = false;
    if (relayout && m_initialised)
        Layout();
}

} // namespace

std::unique_ptr<IFileDialogWindow> CreateFileDialogWindow(CFileDialogSession& session)
{
    return std::make_unique<CFileDialogWindow>(session);
}

} // namespace platform

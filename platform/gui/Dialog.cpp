// The toolkit-neutral part of CDialog: construction, data exchange, the
// default OK / Cancel handling and the initialisation sequence.
#include "platform/gui/Dialog.h"

#include "platform/gui/Button.h"
#include "platform/gui/ComboBox.h"

namespace {

// Thrown by CDataExchange::Fail, caught by UpdateData.
struct DataExchangeFailed {};

} // namespace

IMPLEMENT_DYNAMIC(CDialog, CWnd)

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::CDialog(const char16_t* templateName, CWnd* parent) : m_parent(parent)
{
    const auto value = reinterpret_cast<std::uintptr_t>(templateName);
    if (value != 0 && value < 0x10000) {
        m_templateId = static_cast<UINT>(value); // MAKEINTRESOURCE
    } else if (templateName && templateName[0] == u'#') {
        UINT id = 0;
        for (const char16_t* p = templateName + 1; *p >= u'0' && *p <= u'9'; ++p)
            id = id * 10 + static_cast<UINT>(*p - u'0');
        m_templateId = id;
    }
}

CDialog::~CDialog()
{
    if (m_hWnd)
        DestroyWindow();
}

BOOL CDialog::InitModalIndirect(const platform::DialogTemplate& dialogTemplate, CWnd* parent)
{
    m_indirect = dialogTemplate;
    m_haveIndirect = true;
    m_templateId = dialogTemplate.id;
    m_parent = parent;
    return TRUE;
}

bool CDialog::GetTemplate(platform::DialogTemplate& out) const
{
    if (m_haveIndirect) {
        out = m_indirect;
        return true;
    }
    return m_templateId != 0 && platform::LoadDialogTemplate(m_templateId, out);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    if (!m_hWnd)
        return FALSE;
    CDataExchange exchange(this, saveAndValidate);
    try {
        DoDataExchange(&exchange);
    } catch (const DataExchangeFailed&) {
        return FALSE;
    }
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (CWnd::OnCommand(wParam, lParam))
        return TRUE;
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (code != BN_CLICKED)
        return FALSE;
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        // The close box of a dialog is Cancel.
        HWND cancel = ::GetDlgItem(m_hWnd, IDCANCEL);
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    if (message == DM_GETDEFID)
        return static_cast<LRESULT>(GetDefID());
    if (message == DM_SETDEFID) {
        SetDefID(static_cast<UINT>(wParam));
        return TRUE;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

BOOL CDialog::HandleInitDialog()
{
    const BOOL focusFirst = OnInitDialog();
    if (focusFirst && m_hWnd) {
        // The first control in tab order that can take the focus.
        for (CWnd* control = GetWindow(GW_CHILD); control; control = control->GetWindow(GW_HWNDNEXT)) {
            const DWORD style = control->GetStyle();
            if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) {
                GotoDlgCtrl(control);
                break;
            }
        }
    }
    UpdateSizeLimits();
    return focusFirst;
}

// ---- data exchange ----------------------------------------------------------------------

HWND CDataExchange::PrepareCtrl(int id)
{
    m_lastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    return m_lastControl;
}

void CDataExchange::Fail()
{
    if (CWnd* control = CWnd::FromHandle(m_lastControl))
        m_pDlgWnd->GotoDlgCtrl(control);
    throw DataExchangeFailed{};
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.m_hWnd)
        return;
    HWND hwnd = pDX->PrepareCtrl(id);
    control.Attach(hwnd);
}

void DDX_Text(CDataExchange* pDX, int id, CString& value)
{
    HWND hwnd = pDX->PrepareCtrl(id);
    CWnd* control = CWnd::FromHandle(hwnd);
    if (!control)
        return;
    if (pDX->m_bSaveAndValidate)
        control->GetWindowText(value);
    else
        control->SetWindowText(value);
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    HWND hwnd = pDX->PrepareCtrl(id);
    CWnd* control = CWnd::FromHandle(hwnd);
    if (!control)
        return;
    if (!pDX->m_bSaveAndValidate) {
        CString text;
        text.Format(u"%d", value);
        control->SetWindowText(text);
        return;
    }
    CString text = control->GetWindowText();
    text.Trim();
    long long number = 0;
    int i = 0;
    bool negative = false;
    if (i < text.GetLength() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    const int digitsFrom = i;
    for (; i < text.GetLength() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        number = number * 10 + (text[i] - u'0');
        if (number > 2147483648LL)
            break;
    }
    if (i == digitsFrom || i != text.GetLength() || number > (negative ? 2147483648LL : 2147483647LL))
        pDX->Fail();
    value = static_cast<int>(negative ? -number : number);
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    HWND hwnd = pDX->PrepareCtrl(id);
    CWnd* control = CWnd::FromHandle(hwnd);
    if (!control)
        return;
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(pDX->m_pDlgWnd->IsDlgButtonChecked(id));
    else
        pDX->m_pDlgWnd->CheckDlgButton(id, static_cast<UINT>(value));
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index)
{
    auto* combo = static_cast<CComboBox*>(CWnd::FromHandle(pDX->PrepareCtrl(id)));
    if (!combo)
        return;
    if (pDX->m_bSaveAndValidate)
        index = combo->GetCurSel();
    else
        combo->SetCurSel(index);
}

void DDX_CBString(CDataExchange* pDX, int id, CString& value)
{
    auto* combo = static_cast<CComboBox*>(CWnd::FromHandle(pDX->PrepareCtrl(id)));
    if (!combo)
        return;
    if (pDX->m_bSaveAndValidate) {
        combo->GetWindowText(value);
    } else if ((combo->GetStyle() & CBS_TYPEMASK) == CBS_DROPDOWNLIST) {
        combo->SelectString(-1, value);
    } else {
        combo->SetWindowText(value);
    }
}

void DDX_Radio(CDataExchange* pDX, int id, int& value)
{
    HWND first = pDX->PrepareCtrl(id);
    CWnd* control = CWnd::FromHandle(first);
    if (!control)
        return;
    if (pDX->m_bSaveAndValidate)
        value = -1;
    int index = 0;
    for (CWnd* c = control; c; c = c->GetWindow(GW_HWNDNEXT), ++index) {
        if (c != control && (c->GetStyle() & WS_GROUP))
            break;
        auto* button = static_cast<CButton*>(c);
        if (pDX->m_bSaveAndValidate) {
            if (button->GetCheck() == BST_CHECKED)
                value = index;
        } else {
            button->SetCheck(index == value ? BST_CHECKED : BST_UNCHECKED);
        }
    }
}

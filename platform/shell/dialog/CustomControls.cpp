#include "platform/shell/dialog/CustomControls.h"

#include <algorithm>

namespace platform {

namespace {

bool HasItems(CCustomControls::EKind kind)
{
    return kind == CCustomControls::eComboBox || kind == CCustomControls::eRadioButtonList ||
           kind == CCustomControls::eMenu || kind == CCustomControls::eOpenDropDown;
}

bool HasSelection(CCustomControls::EKind kind)
{
    return kind == CCustomControls::eComboBox || kind == CCustomControls::eRadioButtonList;
}

} // namespace

CCustomControls::SControl* CCustomControls::FindMutable(DWORD id)
{
    auto found = std::find_if(m_controls.begin(), m_controls.end(), [id](const SControl& c) { return c.id == id; });
    return found == m_controls.end() ? nullptr : &*found;
}

const CCustomControls::SControl* CCustomControls::Find(DWORD id) const
{
    return const_cast<CCustomControls*>(this)->FindMutable(id);
}

const CCustomControls::SControl* CCustomControls::OpenDropDown() const
{
    auto found = std::find_if(m_controls.begin(), m_controls.end(),
                              [](const SControl& c) { return c.kind == eOpenDropDown; });
    return found == m_controls.end() ? nullptr : &*found;
}

void CCustomControls::Changed(DWORD id)
{
    if (m_listener)
        m_listener(id);
}

HRESULT CCustomControls::Add(DWORD id, EKind kind, LPCWSTR label)
{
    if (m_locked)
        return E_UNEXPECTED;
    if (Find(id))
        return E_INVALIDARG;
    SControl control;
    control.id = id;
    control.kind = kind;
    control.label = CString(label);
    // The drop-down belongs to the OK button, never to a group.
    if (m_groupOpen && kind != eOpenDropDown) {
        control.inGroup = true;
        control.group = m_openGroup;
    }
    m_controls.push_back(std::move(control));
    return S_OK;
}

HRESULT CCustomControls::EnableOpenDropDown(DWORD id)
{
    if (OpenDropDown())
        return E_UNEXPECTED;
    return Add(id, eOpenDropDown, nullptr);
}

HRESULT CCustomControls::AddMenu(DWORD id, LPCWSTR label) { return Add(id, eMenu, label); }
HRESULT CCustomControls::AddPushButton(DWORD id, LPCWSTR label) { return Add(id, ePushButton, label); }
HRESULT CCustomControls::AddComboBox(DWORD id) { return Add(id, eComboBox, nullptr); }
HRESULT CCustomControls::AddRadioButtonList(DWORD id) { return Add(id, eRadioButtonList, nullptr); }
HRESULT CCustomControls::AddSeparator(DWORD id) { return Add(id, eSeparator, nullptr); }
HRESULT CCustomControls::AddText(DWORD id, LPCWSTR text) { return Add(id, eText, text); }

HRESULT CCustomControls::AddCheckButton(DWORD id, LPCWSTR label, bool checked)
{
    HRESULT hr = Add(id, eCheckButton, label);
    if (SUCCEEDED(hr))
        FindMutable(id)->checked = checked;
    return hr;
}

HRESULT CCustomControls::AddEditBox(DWORD id, LPCWSTR text)
{
    HRESULT hr = Add(id, eEditBox, nullptr);
    if (SUCCEEDED(hr))
        FindMutable(id)->text = CString(text);
    return hr;
}

HRESULT CCustomControls::StartVisualGroup(DWORD id, LPCWSTR label)
{
    if (m_groupOpen)
        return E_UNEXPECTED; // groups do not nest
    HRESULT hr = Add(id, eVisualGroup, label);
    if (SUCCEEDED(hr)) {
        m_groupOpen = true;
        m_openGroup = id;
    }
    return hr;
}

HRESULT CCustomControls::EndVisualGroup()
{
    if (!m_groupOpen)
        return E_UNEXPECTED;
    m_groupOpen = false;
    return S_OK;
}

HRESULT CCustomControls::SetControlLabel(DWORD id, LPCWSTR label)
{
    SControl* control = FindMutable(id);
    if (!control)
        return E_INVALIDARG;
    control->label = CString(label);
    Changed(id);
    return S_OK;
}

HRESULT CCustomControls::GetControlState(DWORD id, CDCONTROLSTATEF& state) const
{
    const SControl* control = Find(id);
    if (!control)
        return E_INVALIDARG;
    state = control->state;
    return S_OK;
}

HRESULT CCustomControls::SetControlState(DWORD id, CDCONTROLSTATEF state)
{
    SControl* control = FindMutable(id);
    if (!control || (state & ~CDCS_ENABLEDVISIBLE))
        return E_INVALIDARG;
    control->state = state;
    Changed(id);
    return S_OK;
}

HRESULT CCustomControls::GetEditBoxText(DWORD id, CString& text) const
{
    const SControl* control = Find(id);
    if (!control || control->kind != eEditBox)
        return E_INVALIDARG;
    text = control->text;
    return S_OK;
}

HRESULT CCustomControls::SetEditBoxText(DWORD id, LPCWSTR text)
{
    SControl* control = FindMutable(id);
    if (!control || control->kind != eEditBox)
        return E_INVALIDARG;
    control->text = CString(text);
    Changed(id);
    return S_OK;
}

HRESULT CCustomControls::GetCheckButtonState(DWORD id, bool& checked) const
{
    const SControl* control = Find(id);
    if (!control || control->kind != eCheckButton)
        return E_INVALIDARG;
    checked = control->checked;
    return S_OK;
}

HRESULT CCustomControls::SetCheckButtonState(DWORD id, bool checked)
{
    SControl* control = FindMutable(id);
    if (!control || control->kind != eCheckButton)
        return E_INVALIDARG;
    control->checked = checked;
    Changed(id);
    return S_OK;
}

HRESULT CCustomControls::AddControlItem(DWORD id, DWORD item, LPCWSTR label)
{
    SControl* control = FindMutable(id);
    if (!control || !HasItems(control->kind))
        return E_INVALIDARG;
    if (std::any_of(control->items.begin(), control->items.end(), [item](const SItem& i) { return i.id == item; }))
        return E_INVALIDARG;
    control->items.push_back(SItem{item, CString(label), CDCS_ENABLEDVISIBLE});
    Changed(id);
    return S_OK;
}

HRESULT CCustomControls::RemoveControlItem(DWORD id, DWORD item)
{
    SControl* control = FindMutable(id);
    if (!control || !HasItems(control->kind))
        return E_INVALIDARG;
    auto found = std::find_if(control->items.begin(), control->items.end(),
                              [item](const SItem& i) { return i.id == item; });
    if (found == control->items.end())
        return E_INVALIDARG;
    control->items.erase(found);
    if (control->hasSelection && control->selected == item)
        control->hasSelection = false;
    Changed(id);
    return S_OK;
}

HRESULT CCustomControls::GetControlItemState(DWORD id, DWORD item, CDCONTROLSTATEF& state) const
{
    const SControl* control = Find(id);
    if (!control)
        return E_INVALIDARG;
    for (const SItem& i : control->items) {
        if (i.id == item) {
            state = i.state;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT CCustomControls::SetControlItemState(DWORD id, DWORD item, CDCONTROLSTATEF state)
{
    SControl* control = FindMutable(id);
    if (!control || (state & ~CDCS_ENABLEDVISIBLE))
        return E_INVALIDARG;
    for (SItem& i : control->items) {
        if (i.id == item) {
            i.state = state;
            Changed(id);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT CCustomControls::SetControlItemText(DWORD id, DWORD item, LPCWSTR label)
{
    SControl* control = FindMutable(id);
    if (!control)
        return E_INVALIDARG;
    for (SItem& i : control->items) {
        if (i.id == item) {
            i.label = CString(label);
            Changed(id);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT CCustomControls::GetSelectedControlItem(DWORD id, DWORD& item) const
{
    const SControl* control = Find(id);
    if (!control || !HasItems(control->kind))
        return E_INVALIDARG;
    if (!control->hasSelection)
        return E_FAIL;
    item = control->selected;
    return S_OK;
}

HRESULT CCustomControls::SetSelectedControlItem(DWORD id, DWORD item)
{
    SControl* control = FindMutable(id);
    if (!control || !HasSelection(control->kind))
        return E_INVALIDARG;
    if (std::none_of(control->items.begin(), control->items.end(), [item](const SItem& i) { return i.id == item; }))
        return E_INVALIDARG;
    control->hasSelection = true;
    control->selected = item;
    Changed(id);
    return S_OK;
}

HRESULT CCustomControls::MakeProminent(DWORD id)
{
    if (m_locked)
        return E_UNEXPECTED;
    const SControl* control = Find(id);
    if (!control)
        return E_INVALIDARG;
    if (control->kind != eCheckButton && control->kind != ePushButton && control->kind != eComboBox &&
        control->kind != eMenu)
        return E_INVALIDARG;
    m_hasProminent = true;
    m_prominent = id;
    return S_OK;
}

void CCustomControls::UserSetChecked(DWORD id, bool checked)
{
    if (SControl* control = FindMutable(id); control && control->kind == eCheckButton)
        control->checked = checked;
}

void CCustomControls::UserSetEditText(DWORD id, const CString& text)
{
    if (SControl* control = FindMutable(id); control && control->kind == eEditBox)
        control->text = text;
}

void CCustomControls::UserSelectItem(DWORD id, DWORD item)
{
    if (SControl* control = FindMutable(id); control && HasItems(control->kind)) {
        control->hasSelection = true;
        control->selected = item;
    }
}

} // namespace platform

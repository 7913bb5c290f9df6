#include "dialoghook/VeilDialogs.h"

#include "dialoghook/KeySelectionDlg.h"
#include "dialoghook/MissingPublicKeyDialog.h"
#include "dialoghook/SettingsDlg.h"
#include "platform/gui/Wnd.h"

CVeilDialogs::EOpenMode CVeilDialogs::AskMissingPublicKeyOpenMode()
{
    CMissingPublicKeyDialog dialog(nullptr);
    // No window (no display) counts as "do not open", like Cancel.
    if (dialog.DoModal() != IDOK)
        return eOpenCancelled;
    return dialog.GetOpenMode() == 1 ? eOpenWriteable : eOpenReadOnly;
}

bool CVeilDialogs::SelectKeys(HWND owner, const CArrayEx<CKey, const CKey&>& preselected,
                              CArrayEx<CKey, const CKey&>& selected)
{
    CKeySelectionDlg dialog(CWnd::FromHandle(owner), preselected);
    if (dialog.DoModal() != IDOK)
        return false;
    selected = dialog.GetSelectedKeys();
    return true;
}

void CVeilDialogs::ShowSettings()
{
    CSettingsDlg settings;
    settings.DoModal();
}

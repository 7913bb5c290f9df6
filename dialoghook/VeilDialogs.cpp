#include "dialoghook/VeilDialogs.h"

#include "Log.h"
#include "dialoghook/SettingsDlg.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "resources/resource.h"

namespace {

// The question text of the missing-public-key dialog's template.
CString MissingKeysText()
{
    platform::DialogTemplate dialog;
    if (platform::LoadDialogTemplate(IDD_MISSINGPUBLICKEY, dialog))
        for (const platform::DialogControl& control : dialog.controls)
            if (control.className.CompareNoCase(u"Static") == 0 && !control.text.IsEmpty())
                return control.text;
    return u"You have not all public keys for this document.";
}

} // namespace

CVeilDialogs::EOpenMode CVeilDialogs::AskMissingPublicKeyOpenMode()
{
    const CString text = MissingKeysText() + u"\n\nYes: Open Writeable\nNo: Open Read Only";
    switch (AfxMessageBox(text, MB_YESNOCANCEL | MB_ICONWARNING)) {
    case IDYES:
        return eOpenWriteable;
    case IDNO:
        return eOpenReadOnly;
    default:
        return eOpenCancelled;
    }
}

bool CVeilDialogs::SelectKeys(HWND, const CArrayEx<CKey, const CKey&>&, CArrayEx<CKey, const CKey&>&)
{
    WriteLog(eLogError, u"No key selection dialog is available in this build");
    return false;
}

void CVeilDialogs::ShowSettings()
{
    CSettingsDlg settings;
    settings.DoModal();
}

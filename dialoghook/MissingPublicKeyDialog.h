// CMissingPublicKeyDialog: asks how to open an encrypted file for which not
// every recipient's public key is in the key ring: read only (changes are
// not encrypted again), writeable (changes are encrypted again for the
// recipients that are known), or not at all.
//
//   CMissingPublicKeyDialog dlg(nullptr);
//   if (dlg.DoModal() == IDOK)
//       writeable = dlg.GetOpenMode() == 1;  // 0: read only
//
// DoModal: IDOK after either open button, IDCANCEL after Cancel, Escape or
// the close box. "Open Writeable" is the default button (Enter).
#pragma once

#include "platform/gui/Dialog.h"

class CMissingPublicKeyDialog : public CDialog {
    DECLARE_DYNAMIC(CMissingPublicKeyDialog)
public:
    explicit CMissingPublicKeyDialog(CWnd* pParent = nullptr);
    ~CMissingPublicKeyDialog() override;

    // 1 after "Open Writeable", 0 otherwise (also when never answered).
    int GetOpenMode() const { return m_nOpenMode; }

    void OnOpenWriteableButtonClicked();
    void OnOpenReadOnlyButtonClicked();

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    int m_nOpenMode = 0;
};

// CFileDecryptDlg: shown before a double-clicked encrypted file is
// decrypted: the name the file had before encryption, when it was
// encrypted and to which recipients. "Open File" is offered only when one of
// the recipients' secret keys is in the key ring. The dialog also settles
// whether the working copy is encrypted again and removed afterwards.
#pragma once

#include "ui/ResizableDialog.h"
#include "ui/XListCtrl.h"

class IEncryption;

class CFileDecryptDlg : public CResizableDialog {
public:
    // `engine` null means the process's engine.
    explicit CFileDecryptDlg(const CString& encryptedFilePath, IEncryption* engine = nullptr, CWnd* parent = nullptr);

    // Results after IDOK: no re-encryption; remove the working copy afterwards.
    int m_bKeepUnencrypted = 0;
    int m_bDeleteAfterwards = 1;

    // The text the date label shows for a time (seconds since 1970): the
    // local long date and time, or "Unknown" before 1971 or when it can't be
    // converted.
    static CString FormatEncryptionDate(LONGLONG seconds);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnSize(UINT type, int cx, int cy) override;

private:
    IEncryption& Engine();

    CString m_strEncryptedFilePath;
    IEncryption* m_engine;
    CXListCtrl m_recipients;
};

// CVeilFileSaveDialogImpl: what applications get for the system's File Save
// dialog. It adds the check box "Encrypt file after save" and a label with
// the chosen recipients; when the box is ticked the application is given a
// fresh path in the working directory to write to, and the background
// program encrypts that file to the chosen name plus ".gpg" once the
// application has ended. A dialog that starts beside a working copy points
// back at the encrypted original with its recipients ticked.
#pragma once

#include "ArrayEx.h"
#include "Key.h"
#include "dialoghook/Veilshim.h"

class CVeilFileSaveDialogImpl : public CVeilshim {
public:
    static constexpr const char16_t* cszEncryptCheckLabel = u"Encrypt file after save";
    static constexpr const char16_t* cszNoKeysLabel = u"<keys>";

    explicit CVeilFileSaveDialogImpl(IUnknown* pUnkOuter);
    ~CVeilFileSaveDialogImpl() override;

    // Adds the controls, relays events, points the dialog at the original
    // of a working copy and restores its recipients, shows the system dialog.
    HRESULT STDMETHODCALLTYPE Show(HWND hwndOwner) override;
    // Ticking the box asks for recipients; without any it is unticked again.
    HRESULT STDMETHODCALLTYPE OnCheckButtonToggled(IFileDialogCustomize* pfdc, DWORD dwIDCtl, BOOL bChecked) override;
    // Records the chosen path; asks before an existing file is replaced by
    // its encrypted form.
    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog* pfd) override;
    // The path the application is to write: its own choice, or with the box
    // ticked a fresh working path whose task has been handed to the
    // background program. Repeated calls for one confirmation give the same
    // item and send no second task. E_FAIL before a confirmation, and when
    // the box is ticked but the task could not be sent: a plain path is never
    // given while the box is ticked.
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem** ppsi) override;

    // The chosen recipients.
    const CArrayEx<CKey, const CKey&>& GetKeys() const { return m_keys; }
    // The label of one recipient: the user id without mail address, a line
    // break, and the short key id as "(0x%08x)".
    static CString FormatKeyLabel(ULONGLONG keyId);
    // The label of all recipients, one entry per key, separated by "\r\n".
    CString BuildKeysLabel() const;

private:
    // Adds the recipients named by the side-file's "UsedKeys" that the key
    // ring knows; ticks the box when there are recipients.
    void RestoreRecipients(const CString& side);
    // Asks for recipients (starting from the current ones); true when some
    // were chosen, with the label updated through `customize`.
    bool ChooseRecipients(IFileDialogCustomize* customize);
    bool IsEncryptChecked();
    void UncheckEncrypt();
    HRESULT MakeResult(IShellItem** ppsi);

    CArrayEx<CKey, const CKey&> m_keys;
    platform::ComPtr<IShellItem> m_pResultItem;
    CString m_strSavedPath;
    bool m_bFileOk = false;
    // Accepted confirmations so far, and the one (with its box state)
    // m_pResultItem was made for.
    unsigned m_uFileOkCount = 0;
    unsigned m_uResultFileOk = 0;
    bool m_bResultEncrypted = false;
};

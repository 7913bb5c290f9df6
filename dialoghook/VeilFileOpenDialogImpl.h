// CVeilFileOpenDialogImpl: what applications get for the system's File Open
// dialog. Encrypted files the user confirms are decrypted into the working
// directory and handed to the application as working copies; a task for
// each goes to the background program, which re-encrypts changes for the
// same recipients once the application has ended.
#pragma once

#include "ArrayEx.h"
#include "dialoghook/Veilshim.h"

class CVeilFileOpenDialogImpl : public CVeilshim {
public:
    explicit CVeilFileOpenDialogImpl(IUnknown* pUnkOuter);
    ~CVeilFileOpenDialogImpl() override;

    // Adds the group "veilcase", relays events while the system dialog is
    // shown and points it at the encrypted original of a working copy.
    HRESULT STDMETHODCALLTYPE Show(HWND hwndOwner) override;
    // The user confirmed: every encrypted item is decrypted and handed to
    // the background program; S_FALSE keeps the dialog open after a failure
    // the user was told about.
    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog* pfd) override;
    // The first (all) of the paths the application is to use. E_UNEXPECTED
    // before a confirmation has been accepted.
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem** ppsi) override;
    HRESULT STDMETHODCALLTYPE GetResults(IShellItemArray** ppenum) override;
    // Records the state of a check button 4711 that the application added.
    HRESULT STDMETHODCALLTYPE OnCheckButtonToggled(IFileDialogCustomize* pfdc, DWORD dwIDCtl, BOOL bChecked) override;

    // The paths of the last accepted confirmation, in selection order.
    const CArrayEx<CString, const CString&>& GetResultPaths() const { return m_resultPaths; }

private:
    // The body of OnFileOk; errors are thrown as COrvException.
    HRESULT ConfirmSelection();
    // Decrypts one encrypted item and sends its task; the path the
    // application gets goes to `resultPath`. S_FALSE when the user was told
    // why it can't be opened (or cancelled).
    HRESULT OpenEncrypted(const CString& path, CString& resultPath);
    // Removes a decrypted copy that no task will ever clean up: the file,
    // its side-file and its folder when that is then empty.
    static void RemoveWorkingCopy(const CString& decrypted);
    HRESULT BuildResults(const CArrayEx<CString, const CString&>& paths);

    CArrayEx<CString, const CString&> m_resultPaths;
    platform::ComPtr<IShellItemArray> m_pResults;
    bool m_bOptionChecked = false;
    // A decrypted copy whose task has not been handed over yet.
    CString m_strPendingCopy;
};

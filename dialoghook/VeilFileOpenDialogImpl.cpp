#include "dialoghook/VeilFileOpenDialogImpl.h"

#include <vector>

#include "Directory.h"
#include "Encryption.h"
#include "EncryptionGnuPG.h"
#include "FileUtils.h"
#include "Ipc.h"
#include "Log.h"
#include "OrvException.h"
#include "dialoghook/VeilDialogs.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/gui/Gui.h"
#include "platform/Process.h"
#include "resources/resource.h"

namespace {

const char* const kSource = "veilFileOpenDialogImpl";

} // namespace

CVeilFileOpenDialogImpl::CVeilFileOpenDialogImpl(IUnknown* pUnkOuter) : CVeilshim(pUnkOuter)
{
    CreateInnerDialog(true);
}

CVeilFileOpenDialogImpl::~CVeilFileOpenDialogImpl() = default;

HRESULT CVeilFileOpenDialogImpl::Show(HWND hwndOwner)
{
    if (!m_pDialog)
        return E_NOTIMPL;
    try {
        BeginShow(hwndOwner);
        if (m_pCustomize) {
            m_pCustomize->StartVisualGroup(ciGroupId, cszGroupLabel);
            m_pCustomize->EndVisualGroup();
        }
        AdviseSelf();
        PrefillOriginalLocation(FindSideFile());
    } catch (COrvException* error) {
        // The dialog still comes up, only without the prefill.
        ReportException(error);
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
        WriteLog(eLogError, u"Preparing the Open dialog failed");
    }
    return ShowSystemDialog(hwndOwner);
}

HRESULT CVeilFileOpenDialogImpl::OnFileOk(IFileDialog* pfd)
{
    if (!m_pOpenDialog)
        return CVeilshim::OnFileOk(pfd);
    HRESULT hr = S_FALSE;
    try {
        hr = ConfirmSelection();
    } catch (COrvException* error) {
        ReportException(error);
        hr = S_FALSE;
    } catch (CException* error) {
        error->Delete();
        ReportUnexpected(kSource, __LINE__);
        hr = S_FALSE;
    } catch (...) {
        ReportUnexpected(kSource, __LINE__);
        hr = S_FALSE;
    }
    // A copy decrypted for an item whose task never reached the background
    // program would stay behind in plain text with nobody to remove it.
    if (!m_strPendingCopy.IsEmpty()) {
        RemoveWorkingCopy(m_strPendingCopy);
        m_strPendingCopy.Empty();
    }
    if (hr != S_OK)
        return hr;
    return CVeilshim::OnFileOk(pfd);
}

HRESULT CVeilFileOpenDialogImpl::ConfirmSelection()
{
    platform::ComPtr<IShellItemArray> selection;
    DWORD count = 0;
    if (FAILED(m_pOpenDialog->GetResults(selection.Put())) || !selection || FAILED(selection->GetCount(&count)))
        count = 0;

    CArrayEx<CString, const CString&> paths;
    for (DWORD i = 0; i < count; ++i) {
        platform::ComPtr<IShellItem> item;
        if (FAILED(selection->GetItemAt(i, item.Put())) || !item)
            continue;
        const CString path = PathOfItem(item.Get());
        if (path.IsEmpty())
            continue;
        if (!CEncryption::GetDefault().IsEncryptedFile(path)) {
            paths.Add(path);
            continue;
        }
        CString resultPath;
        HRESULT hr = OpenEncrypted(path, resultPath);
        if (hr != S_OK)
            return hr;
        paths.Add(resultPath);
    }
    return BuildResults(paths);
}

HRESULT CVeilFileOpenDialogImpl::OpenEncrypted(const CString& path, CString& resultPath)
{
    IEncryption& engine = CEncryption::GetDefault();
    if (CEncryptionGnuPG::IsSupportedVersion() == 0) {
        AfxMessageBox(IDS_UNSUPPORTED_GNUPG, MB_ICONERROR);
        return S_FALSE;
    }

    CString decrypted;
    const IEncryption::EOperationResult result = engine.DecryptFileW(path, decrypted);
    if (result != IEncryption::eOperationSucceeded) {
        if (!decrypted.IsEmpty() && CDirectory::FileExist(decrypted, CString()))
            RemoveWorkingCopy(decrypted);
        // No owner and no caption: the system's own error box.
        MessageBoxW(nullptr, CString(u"An Error occurred during the Encryption of ") + path, nullptr, MB_ICONERROR);
        return S_FALSE;
    }
    m_strPendingCopy = decrypted;

    const CArrayEx<ULONGLONG, const ULONGLONG&> keyIds = engine.GetPublicKeyIdsForEncryptedFile(path);
    if (keyIds.IsEmpty()) {
        // Nothing could encrypt changes back: the application gets the file
        // as it is, and the plain copy goes at once.
        WriteLog(eLogWarning, u"No keys available. Trying to open file in plaintext mode");
        resultPath = path;
        return S_OK;
    }

    int encryptionScheduled = 1;
    int deletionScheduled = 1;
    CArrayEx<BYTE, BYTE> hash;
    if (m_bOptionChecked) {
        encryptionScheduled = 0;
        deletionScheduled = 0;
    } else {
        bool writeable = true;
        if (!engine.GetMissingKeysForFile(path).IsEmpty()) {
            const CVeilDialogs::EOpenMode mode = CVeilDialogs::AskMissingPublicKeyOpenMode();
            if (mode == CVeilDialogs::eOpenCancelled)
                return S_FALSE;
            writeable = mode == CVeilDialogs::eOpenWriteable;
        }
        if (writeable) {
            CString copy = decrypted;
            hash = CFileUtils::ComputeFileHash(copy);
        } else {
            encryptionScheduled = 0;
        }
    }
    CIpc::SendEncryptionTask(decrypted, path, keyIds, platform::CurrentProcessId(), encryptionScheduled,
                             deletionScheduled, hash);
    // From here on the background program owns the copy.
    m_strPendingCopy.Empty();
    resultPath = decrypted;
    WriteLog(eLogDebug, u"Decrypted %s", path.GetString());
    return S_OK;
}

HRESULT CVeilFileOpenDialogImpl::BuildResults(const CArrayEx<CString, const CString&>& paths)
{
    std::vector<PIDLIST_ABSOLUTE> lists;
    lists.reserve(static_cast<size_t>(paths.GetSize()));
    for (int i = 0; i < paths.GetSize(); ++i)
        if (PIDLIST_ABSOLUTE list = SHSimpleIDListFromPath(paths[i]))
            lists.push_back(list);
    platform::ComPtr<IShellItemArray> results;
    HRESULT hr = SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()),
                                                   const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists.data()), results.Put());
    for (PIDLIST_ABSOLUTE list : lists)
        ILFree(list);
    if (FAILED(hr) || !results) {
        WriteLog(eLogError, u"The results of the Open dialog cannot be built: 0x%08X", static_cast<unsigned>(hr));
        return S_FALSE;
    }
    m_resultPaths.Copy(paths);
    m_pResults = std::move(results);
    return S_OK;
}

void CVeilFileOpenDialogImpl::RemoveWorkingCopy(const CString& decrypted)
{
    platform::RemoveFile(decrypted + cszSideFileSuffix);
    if (!platform::RemoveFile(decrypted) && CDirectory::FileExist(decrypted, CString()))
        WriteLog(eLogError, u"The decrypted copy %s cannot be removed", decrypted.GetString());
    // The engine decrypts into a folder of its own below the working
    // directory; it goes when nothing else is in it.
    CString folder = CDirectory::SplitPathFromFileNameWithPath(decrypted);
    const CString workingDir = SideFileWorkingDir();
    if (IsPathInside(folder, workingDir) && !IsPathInside(workingDir, folder))
        platform::RemoveEmptyDirectory(folder);
}

HRESULT CVeilFileOpenDialogImpl::GetResult(IShellItem** ppsi)
{
    if (!ppsi)
        return E_POINTER;
    *ppsi = nullptr;
    if (!m_pResults) {
        // No confirmed selection: the error is logged, the caller gets a
        // failure code and nothing else.
        try {
            (new COrvException(IDS_ERR_NO_SHELLITEMARRAY, kSource, __LINE__))->Delete();
        } catch (...) {
        }
        return E_UNEXPECTED;
    }
    return m_pResults->GetItemAt(0, ppsi);
}

HRESULT CVeilFileOpenDialogImpl::GetResults(IShellItemArray** ppenum)
{
    if (!ppenum)
        return E_POINTER;
    *ppenum = nullptr;
    if (!m_pResults) {
        try {
            (new COrvException(IDS_ERR_NO_SHELLITEMARRAY, kSource, __LINE__))->Delete();
        } catch (...) {
        }
        return E_UNEXPECTED;
    }
    return m_pResults.CopyTo(ppenum);
}

HRESULT CVeilFileOpenDialogImpl::OnCheckButtonToggled(IFileDialogCustomize*, DWORD dwIDCtl, BOOL bChecked)
{
    if (dwIDCtl == ciEncryptCheckId)
        m_bOptionChecked = bChecked != FALSE;
    return S_OK;
}

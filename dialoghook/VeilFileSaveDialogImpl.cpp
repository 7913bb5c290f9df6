#include "dialoghook/VeilFileSaveDialogImpl.h"

#include "Configuration.h"
#include "Directory.h"
#include "Encryption.h"
#include "EncryptionGnuPG.h"
#include "Ipc.h"
#include "Log.h"
#include "OrvException.h"
#include "dialoghook/VeilDialogs.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "resources/resource.h"

namespace {

const char* const kSource = "veilFileSaveDialogImpl";

// "UsedKeys" shorter than one long key id names nobody.
constexpr int ciMinUsedKeysLength = 16;

} // namespace

CVeilFileSaveDialogImpl::CVeilFileSaveDialogImpl(IUnknown* pUnkOuter) : CVeilshim(pUnkOuter)
{
    CreateInnerDialog(false);
}

CVeilFileSaveDialogImpl::~CVeilFileSaveDialogImpl() = default;

// ---- labels -----------------------------------------------------------------------------------------------

CString CVeilFileSaveDialogImpl::FormatKeyLabel(ULONGLONG keyId)
{
    CKey key;
    CEncryption::GetDefault().FindKey(keyId, key);
    CString label;
    label.Format(u"%s\r\n(0x%08x)", key.GetUserIDWithoutMail().GetString(),
                 static_cast<unsigned>(key.GetLongKeyID() & 0xFFFFFFFFu));
    return label;
}

CString CVeilFileSaveDialogImpl::BuildKeysLabel() const
{
    CString label;
    for (int i = 0; i < m_keys.GetSize(); ++i) {
        if (i > 0)
            label += u"\r\n";
        label += FormatKeyLabel(m_keys[i].GetLongKeyID());
    }
    return label;
}

// ---- Show ---------------------------------------------------------------------------------------------------

HRESULT CVeilFileSaveDialogImpl::Show(HWND hwndOwner)
{
    if (!m_pDialog)
        return E_NOTIMPL;
    try {
        BeginShow(hwndOwner);
        if (m_pCustomize) {
            m_pCustomize->StartVisualGroup(ciGroupId, cszGroupLabel);
            m_pCustomize->AddCheckButton(ciEncryptCheckId, cszEncryptCheckLabel, FALSE);
            m_pCustomize->AddSeparator(ciSeparatorId);
            m_pCustomize->AddText(ciKeysLabelId, cszNoKeysLabel);
            m_pCustomize->EndVisualGroup();
        }
        AdviseSelf();
        const CString side = FindSideFile();
        PrefillOriginalLocation(side);
        RestoreRecipients(side);
    } catch (COrvException* error) {
        // The dialog still comes up; only the prefill is missing.
        error->Delete();
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
        WriteLog(eLogError, u"Preparing the Save dialog failed");
    }
    return ShowSystemDialog(hwndOwner);
}

void CVeilFileSaveDialogImpl::RestoreRecipients(const CString& side)
{
    const CString usedKeys = ReadSideFileValue(side, cszUsedKeysKey);
    if (usedKeys.GetLength() < ciMinUsedKeysLength)
        return;
    IEncryption& engine = CEncryption::GetDefault();
    try {
        int position = 0;
        for (CString token = usedKeys.Tokenize(u",", position); position >= 0;
             token = usedKeys.Tokenize(u",", position)) {
            // Parsing stops at the first character that is no hex digit.
            const ULONGLONG id = ParseUInt64(token, 16);
            CKey key;
            if (id != 0 && engine.FindKey(id, key) && m_keys.Find(key) < 0)
                m_keys.Add(key);
        }
    } catch (COrvException* error) {
        // The key ring can't be asked (GnuPG not configured): the dialog
        // comes up with whatever recipients were found so far.
        error->Delete();
    } catch (CException* error) {
        error->Delete();
    }
    // The box is ticked only with recipients: ticked without any, the file
    // would be saved in plain text while the dialog says it is encrypted.
    if (m_keys.IsEmpty())
        return;
    SetCheckButtonState(ciEncryptCheckId, TRUE);
    SetControlLabel(ciKeysLabelId, BuildKeysLabel());
}

// ---- the check box ---------------------------------------------------------------------------------------

bool CVeilFileSaveDialogImpl::IsEncryptChecked()
{
    BOOL checked = FALSE;
    return m_pCustomize && SUCCEEDED(m_pCustomize->GetCheckButtonState(ciEncryptCheckId, &checked)) && checked;
}

void CVeilFileSaveDialogImpl::UncheckEncrypt()
{
    SetCheckButtonState(ciEncryptCheckId, FALSE);
}

bool CVeilFileSaveDialogImpl::ChooseRecipients(IFileDialogCustomize* customize)
{
    CArrayEx<CKey, const CKey&> selected;
    if (!CVeilDialogs::SelectKeys(m_hwndOwner, m_keys, selected))
        return false; // cancelled: the previous recipients stay
    m_keys.Copy(selected);
    if (m_keys.IsEmpty())
        return false;
    customize->SetControlLabel(ciKeysLabelId, BuildKeysLabel());
    return true;
}

HRESULT CVeilFileSaveDialogImpl::OnCheckButtonToggled(IFileDialogCustomize* pfdc, DWORD dwIDCtl, BOOL bChecked)
{
    try {
        if (CEncryptionGnuPG::IsSupportedVersion() == 0) {
            AfxMessageBox(IDS_UNSUPPORTED_GNUPG, MB_ICONERROR);
            SetCheckButtonState(dwIDCtl, FALSE);
            return S_OK;
        }
        if (dwIDCtl != ciEncryptCheckId || !bChecked)
            return S_OK;
        IFileDialogCustomize* customize = pfdc ? pfdc : static_cast<IFileDialogCustomize*>(this);
        if (!ChooseRecipients(customize))
            customize->SetCheckButtonState(ciEncryptCheckId, FALSE);
        return S_OK;
    } catch (COrvException* error) {
        ReportException(error);
    } catch (CException* error) {
        error->Delete();
        ReportUnexpected(kSource, __LINE__);
    } catch (...) {
        ReportUnexpected(kSource, __LINE__);
    }
    UncheckEncrypt();
    return S_FALSE;
}

// ---- confirmation and result ----------------------------------------------------------------------------

HRESULT CVeilFileSaveDialogImpl::OnFileOk(IFileDialog* pfd)
{
    try {
        platform::ComPtr<IShellItem> item;
        if (SUCCEEDED(m_pDialog->GetResult(item.Put())) && item)
            m_strSavedPath = PathOfItem(item.Get());
        if (IsEncryptChecked()) {
            // Ticked by the application itself, without recipients: ask for
            // them now rather than let GetResult refuse the file.
            if (m_keys.IsEmpty() && !ChooseRecipients(static_cast<IFileDialogCustomize*>(this))) {
                UncheckEncrypt();
                return S_FALSE;
            }
            if (!m_strSavedPath.IsEmpty() && CDirectory::FileExist(m_strSavedPath, CString()) &&
                AfxMessageBox(IDS_ORIGINAL_WILL_BE_DELETED, MB_YESNO | MB_ICONEXCLAMATION) == IDNO)
                return S_FALSE;
        }
        m_bFileOk = true;
        ++m_uFileOkCount;
    } catch (COrvException* error) {
        ReportException(error);
        return S_FALSE;
    } catch (CException* error) {
        error->Delete();
        ReportUnexpected(kSource, __LINE__);
        return S_FALSE;
    } catch (...) {
        ReportUnexpected(kSource, __LINE__);
        return S_FALSE;
    }
    return CVeilshim::OnFileOk(pfd);
}

HRESULT CVeilFileSaveDialogImpl::GetResult(IShellItem** ppsi)
{
    if (!ppsi)
        return E_POINTER;
    try {
        return MakeResult(ppsi);
    } catch (COrvException* error) {
        ReportException(error, false);
    } catch (CException* error) {
        error->Delete();
        ReportUnexpected(kSource, __LINE__);
    } catch (...) {
        ReportUnexpected(kSource, __LINE__);
    }
    return E_FAIL;
}

HRESULT CVeilFileSaveDialogImpl::MakeResult(IShellItem** ppsi)
{
    if (m_strSavedPath.IsEmpty() || !m_bFileOk)
        return E_FAIL;
    const bool encrypt = IsEncryptChecked();
    if (encrypt && m_keys.IsEmpty()) {
        WriteLog(eLogError, u"Encryption is ticked without recipients; no path is given for %s",
                 m_strSavedPath.GetString());
        return E_FAIL;
    }
    // One confirmation, one working path and one task, however often the
    // application asks.
    if (m_pResultItem && m_uResultFileOk == m_uFileOkCount && m_bResultEncrypted == encrypt)
        return m_pResultItem.CopyTo(ppsi);

    CString path = m_strSavedPath;
    if (encrypt) {
        CArrayEx<ULONGLONG, const ULONGLONG&> keyIds;
        for (int i = 0; i < m_keys.GetSize(); ++i)
            keyIds.Add(m_keys[i].GetLongKeyID());
        const CString folder = CConfiguration::GetWorkingDir(TRUE);
        if (folder.IsEmpty() || !CDirectory::Exist(folder)) {
            WriteLog(eLogError, u"No private working folder for the encrypted save of %s", m_strSavedPath.GetString());
            return E_FAIL;
        }
        path = CDirectory::Concat(folder, CDirectory::SplitFileNameAndExtensionFromPath(m_strSavedPath));
        try {
            CIpc::SendEncryptionTask(path, m_strSavedPath + u".gpg", keyIds, platform::CurrentProcessId(), 1, 1,
                                     CArrayEx<BYTE, BYTE>());
        } catch (...) {
            // No task: the folder made for it would stay empty forever.
            platform::RemoveEmptyDirectory(folder);
            throw;
        }
    }
    PIDLIST_ABSOLUTE list = SHSimpleIDListFromPath(path);
    if (!list)
        return E_FAIL;
    platform::ComPtr<IShellItem> item;
    HRESULT hr = SHCreateItemFromIDList(list, IID_IShellItem, item.PutVoid());
    ILFree(list);
    if (FAILED(hr) || !item)
        return FAILED(hr) ? hr : E_FAIL;
    m_pResultItem = std::move(item);
    m_uResultFileOk = m_uFileOkCount;
    m_bResultEncrypted = encrypt;
    return m_pResultItem.CopyTo(ppsi);
}

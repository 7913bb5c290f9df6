#include "app/VeilcaseApp.h"

#include <cstdio>

#include "Configuration.h"
#include "Directory.h"
#include "Encryption.h"
#include "EncryptionGnuPG.h"
#include "FileUtils.h"
#include "GuiUtils.h"
#include "Ipc.h"
#include "Log.h"
#include "OrvException.h"
#include "app/FileDecryptDlg.h"
#include "app/VeilcaseDlg.h"
#include "dialoghook/SettingsDlg.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Window.h"
#include "platform/gui/Gui.h"
#include "platform/shell/ShellExecute.h"
#include "resources/resource.h"

namespace {

bool IsSwitch(const CString& argument, std::initializer_list<const char16_t*> names)
{
    if (argument.GetLength() < 2 || (argument[0] != u'/' && argument[0] != u'-'))
        return false;
    CString name = argument.Mid(argument[1] == u'-' ? 2 : 1);
    for (const char16_t* candidate : names)
        if (name.CompareNoCase(candidate) == 0)
            return true;
    return false;
}

} // namespace

CVeilcaseApp::SCommandLine CVeilcaseApp::ParseCommandLine(const std::vector<CString>& arguments)
{
    SCommandLine result;
    for (const CString& argument : arguments) {
        if (IsSwitch(argument, {u"Register", u"Regserver"}))
            result.command = eRegister;
        else if (IsSwitch(argument, {u"Unregister", u"Unregserver"}))
            result.command = eUnregister;
        else if (IsSwitch(argument, {u"Hidden"}))
            result.hidden = true;
        else if (IsSwitch(argument, {u"help", u"h", u"?"}))
            result.command = eHelp;
        else if (IsSwitch(argument, {u"demo"}))
            result.command = eDemo;
        else if (argument.GetLength() > 1 && argument[0] == u'-') {
            result.command = eBadOption;
            result.badOption = argument;
        } else if (argument[0] == u'/' && argument.Find(u'/', 1) < 0 && !CDirectory::FileExist(argument, CString())) {
            // "/Something" that is neither a switch nor a file.
            result.command = eBadOption;
            result.badOption = argument;
        } else if (result.command == eRunWindow) {
            result.command = eOpenFile;
            result.file = argument;
        }
    }
    return result;
}

const char* CVeilcaseApp::UsageText()
{
    return "usage: veilcase [FILE | /Register | /Unregister | --demo | --help] [/Hidden]\n"
           "\n"
           "  (nothing)     show the pending encryption tasks (when veilcase already runs,\n"
           "                its window comes up); tasks left unfinished by an earlier run\n"
           "                are taken up again\n"
           "  FILE          open an encrypted file (*.gpg, *.pgp) as a double click does:\n"
           "                show what it holds, decrypt it into a private folder, open the\n"
           "                copy in the desktop's application for its type, and encrypt it\n"
           "                again for the same recipients once that application is done\n"
           "                (a file that is not encrypted just opens in its application)\n"
           "  /Register     make *.gpg and *.pgp open with veilcase on this desktop, put\n"
           "                the library in place of the system Open and Save dialogs, and\n"
           "                take the gpg found on PATH when none is configured\n"
           "  /Unregister   remove what /Register added\n"
           "  --demo        run a demonstration in a throwaway GnuPG home and folders of\n"
           "                its own (your keys and settings are not touched)\n"
           "  /Hidden       start with the window hidden (used when a task is handed over)\n";
}

bool CVeilcaseApp::IsAnotherInstanceRunning()
{
    HWND window = platform::FindWindowW(CIpc::cszWindowClass, CIpc::GetWindowTitle());
    if (!window)
        return false;
    DWORD pid = 0;
    platform::GetWindowThreadProcessId(window, &pid);
    return pid != platform::CProcessHandle::Current().GetId();
}

bool CVeilcaseApp::ShowRunningInstance()
{
    HWND window = platform::FindWindowW(CIpc::cszWindowClass, CIpc::GetWindowTitle());
    if (!window)
        return false;
    COPYDATASTRUCT data{CVeilcaseDlg::ciShowRequest, 0, nullptr};
    LRESULT result = 0;
    return platform::SendCopyData(window, 0, data, platform::ciSendMessageTimeoutMs, result) && result;
}

int CVeilcaseApp::Register()
{
    CConfiguration::RegisterDialogReplacement();
    CConfiguration::RegisterFileExtensions(0);
    std::printf("Registered: the dialog replacement (%s) and, unless another program owns them, *.gpg and *.pgp.\n",
                CConfiguration::GetOwnLibraryName().ToUtf8().c_str());
    if (CConfiguration::GetFileExtensionRegistrationStatus() == CConfiguration::eForeignRegistered)
        std::printf("*.gpg and *.pgp belong to another program; change that in the settings.\n");
    ConfigureGnuPGOnFirstRun();
    return 0;
}

int CVeilcaseApp::Unregister()
{
    CConfiguration::UnregisterDialogReplacement();
    CConfiguration::UnRegisterFileExtensions();
    std::printf("Unregistered: the dialog replacement and the association of *.gpg and *.pgp are removed.\n");
    return 0;
}

void CVeilcaseApp::ConfigureGnuPGOnFirstRun()
{
    CString path;
    if (CConfiguration::ConfigureGnuPGFromPath(path)) {
        std::printf("GnuPG program configured: %s\n", path.ToUtf8().c_str());
        WriteLog(eLogDebug, u"GnuPG program configured on first run: %s", path.GetString());
    } else if (path.IsEmpty()) {
        std::printf("No GnuPG program is configured and none was found on PATH; set it in the settings.\n");
    }
}

void CVeilcaseApp::ReportStartError(COrvException* error)
{
    UINT id = error->GetMessageId();
    error->Display();
    error->Delete();
    if (id == IDS_ERR_NO_VEILCASE_PROCESS || id == IDS_ERR_NO_GNUPG_CONFIG || id == IDS_ERR_GPG_NOT_FOUND) {
        CSettingsDlg settings;
        settings.DoModal();
    }
}

bool CVeilcaseApp::OpenFile(const CString& path)
{
    IEncryption& engine = CEncryption::GetDefault();
    platform::SShellOpenResult opened;
    if (!engine.IsEncryptedFile(path)) {
        platform::ShellOpenFile(path, opened);
        return false;
    }
    CFileDecryptDlg decrypt(path);
    if (decrypt.DoModal() != IDOK)
        return false;
    CString decrypted;
    if (engine.DecryptFileW(path, decrypted) != IEncryption::eOperationSucceeded) {
        AfxMessageBox(IDS_DECRYPTION_FAILED, MB_OK | MB_ICONERROR);
        return false;
    }
    // Only recipients the key ring knows can be encrypted for again.
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
    for (ULONGLONG id : engine.GetPublicKeyIdsForEncryptedFile(path))
        if (engine.KeyExists(id))
            ids.Add(id);
    CArrayEx<BYTE, BYTE> hash = CFileUtils::ComputeFileHash(decrypted);

    int encrypt = decrypt.m_bKeepUnencrypted ? 0 : 1;
    int remove = decrypt.m_bDeleteAfterwards;
    DWORD error = platform::ShellOpenFile(decrypted, opened);
    DWORD pid = opened.process.IsNull() ? 0 : opened.process.GetId();
    if (error != ERROR_SUCCESS) {
        WriteLog(eLogError, u"Cannot open <%s> in its application: error %u", decrypted.GetString(),
                 static_cast<unsigned>(error));
        // Nothing opened: say where the decrypted copy is, so that the user
        // can open it some other way; its task waits for "Finish".
        if (!ids.IsEmpty())
            AfxMessageBox(CString(error == ERROR_NO_ASSOCIATION
                                      ? u"No application is set up to open files of this type."
                                      : u"The application for this file could not be started.") +
                              u"\n\nThe decrypted copy is:\n" + decrypted +
                              u"\n\nOpen it yourself; when you are done with it, press \"Finish\" in its row of "
                              u"the pending encryption tasks" +
                              (encrypt ? u" and it is encrypted again." : u" and it is removed."),
                          MB_OK | MB_ICONWARNING);
    } else
        WriteLog(eLogDebug, u"<%s> opened with %s (process %u)", decrypted.GetString(),
                 opened.application.GetString(), static_cast<unsigned>(pid));
    if (ids.IsEmpty())
        return true;

    if (IsAnotherInstanceRunning()) {
        // The hash taken before the application started: one taken now may
        // already include the user's first save, which would then count as
        // no change and be lost.
        CIpc::SendEncryptionTask(decrypted, path, ids, pid, encrypt, remove, encrypt ? hash : CArrayEx<BYTE, BYTE>());
        return false;
    }
    m_pendingRecord = std::make_unique<SEncryptionTask>();
    CIpc::FillRecord(*m_pendingRecord, decrypted, path, ids, pid, encrypt, remove, hash);
    m_tasks.Add(std::make_unique<CEncryptionTask>(*m_pendingRecord));
    return true;
}

int CVeilcaseApp::RunWindow()
{
    m_tasks.Resume();
    CVeilcaseDlg window(m_tasks);
    window.SetStartHidden(m_bHidden);
    window.DoModal();
    if (window.WasNameTaken()) {
        // Another instance came up meanwhile: it takes this one's tasks.
        for (int i = 0; i < m_tasks.GetCount(); ++i) {
            CEncryptionTask& task = m_tasks.GetAt(i);
            CArrayEx<ULONGLONG, const ULONGLONG&> ids;
            for (ULONGLONG id : task.keyIds)
                if (id)
                    ids.Add(id);
            try {
                CIpc::SendEncryptionTask(task.GetFilePath(), task.GetEncryptedFilePath(), ids, task.processId,
                                         task.encryptionScheduled, task.deletionScheduled, task.GetFileHash());
            } catch (COrvException* error) {
                error->Delete();
            }
        }
        return 0;
    }
    m_tasks.CleanWorkingDirectory();
    return 0;
}

int CVeilcaseApp::Run(const SCommandLine& commandLine)
{
    m_bHidden = commandLine.hidden;
    switch (commandLine.command) {
    case eHelp:
        std::fputs(UsageText(), stdout);
        return 0;
    case eBadOption:
        std::fprintf(stderr, "veilcase: unknown option %s\n\n%s", commandLine.badOption.ToUtf8().c_str(),
                     UsageText());
        return 2;
    case eRegister:
        return Register();
    case eUnregister:
        return Unregister();
    default:
        break;
    }

    // The window of a program started without a display (a task handed over
    // from a session without one) still runs, unseen.
    if (!platform::gui::HasDisplay())
        platform::gui::UseOffscreenDisplay();
    if (!platform::gui::InitGui()) {
        std::fprintf(stderr, "veilcase: the window cannot be shown\n");
        return 1;
    }
    ConfigureGnuPGOnFirstRun();

    bool runWindow = true;
    try {
        if (!CEncryptionGnuPG::IsSupportedVersion())
            AfxMessageBox(IDS_UNSUPPORTED_GNUPG, MB_OK | MB_ICONERROR);
        if (commandLine.command == eOpenFile) {
            if (CDirectory::FileExist(commandLine.file, CString())) {
                runWindow = OpenFile(commandLine.file);
            } else {
                AfxMessageBox(u"File not found!", MB_OK);
            }
        } else if (IsAnotherInstanceRunning()) {
            // The one that runs (perhaps hidden, started by a hand-off) comes
            // up instead: its tasks and its settings are there.
            ShowRunningInstance();
            return 0;
        }
        if (runWindow)
            return RunWindow();
    } catch (COrvException* error) {
        ReportStartError(error);
        m_tasks.CleanWorkingDirectory();
        return 1;
    }
    return 0;
}

// CSettingsDlg: the one place where the user changes the settings: whether
// the system dialogs are replaced, whether "*.gpg" and "*.pgp" open with
// veilcase, and the GnuPG program, the GnuPG home directory and the
// decryption directory. Everything is read from the registry store when the
// dialog opens and written back on OK, step by step (a refused value keeps
// the dialog open; what earlier steps wrote stays).
//
//   CSettingsDlg settings;   // modal, without parent
//   settings.DoModal();
//
// The browse buttons show the system's Open dialog (the GnuPG program:
// files named "gpg" or "gpg2") and its folder picker.
#pragma once

#include "platform/gui/Dialog.h"

class CSettingsDlg : public CDialog {
public:
    explicit CSettingsDlg(CWnd* parent = nullptr);

    // Whether a GnuPG program can be stored: an executable regular file.
    static bool IsValidGnuPGProgram(const CString& path);

    // The filter of the GnuPG program's browse dialog: its name and the
    // names it lets through.
    static constexpr const char16_t* cszGnuPGFilterName = u"GnuPG 2";
    static constexpr const char16_t* cszGnuPGFilterPattern = u"gpg;gpg2";

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void OnCbReplaceFileDialog();
    void OnChbRegisterFileExtensions();
    void OnBrowseGPGPathClicked();
    void OnBrowseHomedirClicked();
    void OnBrowseWorkingDirClicked();
    // Shows the judgement of the dialog replacement in the box and the label.
    void ShowReplacementStatus();
    // Shows the system's Open dialog for one file (`folders` false) or its
    // folder picker, starting where `current` points; true with the chosen
    // path.
    bool Browse(bool folders, const CString& current, CString& chosen);

    int m_bUnusualConfiguration = 0;
};

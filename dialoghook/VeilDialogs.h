// CVeilDialogs: the dialogs of other parts of the system that the dialog
// wrappers show from inside the system dialog's modal loop: the question
// when public keys are missing, the key selection, and the settings.
#pragma once

#include "ArrayEx.h"
#include "Key.h"
#include "platform/com/Com.h"

class CVeilDialogs {
public:
    enum EOpenMode {
        eOpenCancelled = -1, // do not open
        eOpenReadOnly = 0,   // open; changes are not re-encrypted
        eOpenWriteable = 1,  // open; changes are re-encrypted for the known recipients
    };

    // Asks how to open a file for which not every recipient's public key is
    // in the key ring.
    static EOpenMode AskMissingPublicKeyOpenMode();
    // Lets the user choose recipients, starting from `preselected`. True
    // with the choice in `selected` when the user confirmed.
    static bool SelectKeys(HWND owner, const CArrayEx<CKey, const CKey&>& preselected,
                           CArrayEx<CKey, const CKey&>& selected);
    // Shows the settings dialog modally, without parent.
    static void ShowSettings();
};

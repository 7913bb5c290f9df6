// Reading the status file of a failed GnuPG run: which message the user is
// shown for it.
#pragma once

#include <string_view>

#include "platform/CString.h"
#include "platform/WinTypes.h"

// The message id for the status text of a GnuPG run that failed, from the
// first rule that matches:
//   2005 (wrong, cancelled or missing passphrase): the keyword
//        "BAD_PASSPHRASE", "MISSING_PASSPHRASE" or "CANCELED_BY_USER" (a
//        prompt for a passphrase the user cancelled), or an "ERROR <location> <code>" line whose
//        error code (the low 16 bits of <code>) is 11 (bad passphrase),
//        99 (cancelled) or 177 (no passphrase); GnuPG 2.2 reports a
//        passphrase refused during decryption only that way;
//   2006 (no fitting secret key): both "DECRYPTION_FAILED" and "NO_SECKEY";
//   2001 (any other GnuPG error).
// Keywords are searched anywhere in the text, case-sensitively. Lines may
// end in "\n" or "\r\n".
UINT GnuPGStatusMessageId(const CString& statusText);

// Whether one status line (without its line end) is
// "[GNUPG:] ERROR <location> <code> ..." with one of the passphrase error
// codes above.
bool IsPassphraseErrorStatusLine(std::u16string_view line);

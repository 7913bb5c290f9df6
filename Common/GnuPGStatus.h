// Reading the status file of a failed GnuPG run: which message the user is
// shown for it.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

// The message id for the status text of a GnuPG run that failed, from the
// first rule that matches:
//   2005 (wrong or missing passphrase): the keyword "BAD_PASSPHRASE" or
//        "MISSING_PASSPHRASE", or an "ERROR <location> <code>" line whose
//        error code (the low 16 bits of <code>) is 11 (bad passphrase),
//        99 (cancelled) or 177 (no passphrase); GnuPG 2.2 reports a
//        passphrase refused during decryption only that way;
//   2006 (no fitting secret key): both "DECRYPTION_FAILED" and "NO_SECKEY";
//   2001 (any other GnuPG error).
// Keywords are searched anywhere in the text, case-sensitively. Lines may
// end in "\n" or "\r\n".
UINT GnuPGStatusMessageId(const CString& statusText);

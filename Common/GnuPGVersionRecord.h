// CGnuPGVersionRecord: the answer of an earlier "gpg --version" check, kept
// in the user's registry store so that a new process need not run the
// program again as long as the program file stays exactly as it was (the
// same resolved path, file number, size and times). Only a program that
// answered as GnuPG 2 or later is recorded; anything else is checked anew.
// What is read back is checked strictly: a record that is damaged, too long,
// names another program or another state of it counts as no record.
#pragma once

#include "platform/CString.h"
#include "platform/FileIdentity.h"

class CGnuPGVersionRecord {
public:
    // Whether the store holds a record for the program at `resolvedPath` in
    // the state `identity`.
    static bool IsRecorded(const CString& resolvedPath, const platform::SFileIdentity& identity);

    // Records that the program at `resolvedPath`, in the state `identity`,
    // is GnuPG 2 or later (replacing any earlier record). Failures to write
    // are only logged: the check then simply runs again next time.
    static void Record(const CString& resolvedPath, const platform::SFileIdentity& identity);

    // The stored text of a record and its strict reading back. Parse gives
    // false for anything Format would not have written.
    static CString Format(const CString& resolvedPath, const platform::SFileIdentity& identity);
    static bool Parse(const CString& text, CString& resolvedPath, platform::SFileIdentity& identity);

    // Where the record lives in the current user's hive.
    static const char16_t* const kKeyPath;
    static const char16_t* const kValueName;
};

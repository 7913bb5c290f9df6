// CKey: one OpenPGP key as the whole system speaks of it. Two keys are the
// same key exactly when their 64-bit long key ids are equal.
#pragma once

#include "ArrayEx.h"
#include "platform/CString.h"

class CKey {
public:
    CKey();
    explicit CKey(ULONGLONG keyId);
    // Parses keyIdHex as a base-16 number (leading blanks, a sign and a 0x
    // prefix accepted); only when the whole text is consumed are the id and
    // the user id taken, otherwise the key stays empty.
    CKey(const CString& userId, const CString& keyIdHex);
    CKey(const CString& userId, const CString& mail, ULONGLONG keyId);
    CKey(const CKey& other) = default;
    CKey& operator=(const CKey& other) = default;

    bool operator==(const CKey& other) const { return m_keyId == other.m_keyId; }

    bool IsValid() const { return !m_userId.IsEmpty() && m_keyId != 0; }
    CString GetUserID() const { return m_userId; }
    // The user id without its first "<...>" part, trimmed.
    CString GetUserIDWithoutMail() const;
    CString GetMailAddress() const { return m_mail; }
    DWORD GetShortKeyID() const { return static_cast<DWORD>(m_keyId & 0xFFFFFFFFu); }
    ULONGLONG GetLongKeyID() const { return m_keyId; }
    CString GetShortKeyIDString() const;
    CString GetLongKeyIDString() const;

    void SetPrivatePart(bool value) { m_privatePart = value; }
    int HasPrivatePart() const { return m_privatePart ? 1 : 0; }
    void SetExpired(bool value) { m_expired = value; }
    bool IsExpired() const { return m_expired; }
    void SetRevoked(bool value) { m_revoked = value; }
    bool IsRevoked() const { return m_revoked; }
    void SetEnabled(bool value) { m_enabled = value; }
    bool IsEnabled() const { return m_enabled; }

    void SetSubKeys(const CArrayEx<ULONGLONG, const ULONGLONG&>& subKeys);
    CArrayEx<ULONGLONG, const ULONGLONG&> GetSubKeys() const { return m_subKeys; }

private:
    CString m_userId;
    CString m_mail;
    ULONGLONG m_keyId = 0;
    CArrayEx<ULONGLONG, const ULONGLONG&> m_subKeys;
    bool m_privatePart = false;
    bool m_expired = false;
    bool m_revoked = false;
    bool m_enabled = false;
};

// Parses text as an unsigned 64-bit number in `base` by the _wcstoui64 rules
// (leading white space, optional sign, 0x prefix in base 16); `end` gets the
// index of the first unused character. Overflow saturates.
ULONGLONG ParseUInt64(const CString& text, int base, int* end = nullptr);

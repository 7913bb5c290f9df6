// The registry: one per-user store of keys and typed values shared by every
// process of the user, reached through the Win32 registry calls the core
// uses (open, create, query, set, enumerate, delete, flush, close), with
// Windows access rights, return codes, value types and byte counts.
//
// Key names compare without regard to case and keep the case they were
// created with; "\" separates the levels of a key path and a trailing "\"
// is ignored. HKEY_CURRENT_USER is the user's hive. HKEY_CLASSES_ROOT shows
// the user's "Software\Classes" merged over a fixed, read-only machine part
// that registers the system's File Open and File Save dialog classes; writes
// through it land in the user's "Software\Classes". KEY_WOW64_64KEY is the
// program's own view; KEY_WOW64_32KEY selects the 32-bit view, which differs
// where Windows keeps separate 32-bit class registrations
// ("Software\Classes\CLSID", "Interface", "DirectShow", "Media Type",
// "MediaFoundation" live below "Software\Classes\Wow6432Node" there).
#pragma once

#include <cstdint>

#include "platform/CString.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

#ifndef _WIN32
// ---- types ------------------------------------------------------------------

struct HKEY__; // opaque; defined by the realisation
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
using PLONG = LONG*;
struct _FILETIME; // last-write times are not kept; pass null
using PFILETIME = _FILETIME*;

// Predefined keys: always open, closing them does nothing.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))

// ---- access rights -----------------------------------------------------------------

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_WOW64_RES 0x0300
#define DELETE 0x00010000
#define READ_CONTROL 0x00020000
#define WRITE_DAC 0x00040000
#define WRITE_OWNER 0x00080000
#define SYNCHRONIZE 0x00100000
#define STANDARD_RIGHTS_ALL 0x001F0000
#define MAXIMUM_ALLOWED 0x02000000
#define KEY_READ (READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) // 0x20019
#define KEY_WRITE (READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY)                   // 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0x000F003F

// ---- options, dispositions, value types ------------------------------------------

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#endif

namespace platform {

// ---- operations ---------------------------------------------------------------------
//
// The Win32 registry calls under their own names in this namespace, with
// our UTF-16 strings (char16_t); on Windows they pass straight to advapi32.
// Every call returns ERROR_SUCCESS or a Windows error code; none throws.
// A sub-key path may be null or empty to mean the key itself. Value names may
// be null or empty to mean the key's default value. Key names are at most 255
// characters per level. The store lives in a private file of the user; when
// it cannot be opened every call fails with ERROR_REGISTRY_IO_FAILED.

// Opens an existing key below `hKey` with the rights in `samDesired` (plus a
// view flag). Returns ERROR_FILE_NOT_FOUND when any level is missing.
// Pitfall: a handle opened without KEY_SET_VALUE / KEY_CREATE_SUB_KEY refuses
// writes with ERROR_ACCESS_DENIED, even on a key the user owns.
LSTATUS RegOpenKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

// RegOpenKeyExW with MAXIMUM_ALLOWED (full rights) in the caller's view.
LSTATUS RegOpenKeyW(HKEY hKey, const char16_t* lpSubKey, PHKEY phkResult);

// Opens the key, creating every missing level. *lpdwDisposition (if given)
// tells REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. lpClass and
// lpSecurityAttributes are ignored (keys are private to the user anyway);
// dwOptions must be REG_OPTION_NON_VOLATILE, anything else gives
// ERROR_INVALID_PARAMETER. Pitfall: creating a new level needs
// KEY_CREATE_SUB_KEY on `hKey`; an existing key opens regardless.
LSTATUS RegCreateKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD Reserved, char16_t* lpClass, DWORD dwOptions,
                        REGSAM samDesired, const void* lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition);

// RegCreateKeyExW with MAXIMUM_ALLOWED in the caller's view.
LSTATUS RegCreateKeyW(HKEY hKey, const char16_t* lpSubKey, PHKEY phkResult);

// Releases a handle; predefined keys are left open. Returns
// ERROR_INVALID_HANDLE for a handle that is not open. Pitfall: the handle
// must not be used afterwards.
LSTATUS RegCloseKey(HKEY hKey);

// Reads a value. With lpData null, *lpcbData receives the size in bytes.
// With a buffer smaller than the value, *lpcbData receives the size needed
// and ERROR_MORE_DATA is returned (nothing is copied). *lpType (if given)
// receives the stored type. Strings are returned exactly as stored: a string
// written without its terminator comes back without one.
LSTATUS RegQueryValueExW(HKEY hKey, const char16_t* lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData);

// Stores a value of any type as the raw bytes given (cbData bytes; for a
// string include the terminator, 2 * length + 2 bytes). Pitfall: the byte
// count is taken as given, so an odd count cuts a UTF-16 string in half.
LSTATUS RegSetValueExW(HKEY hKey, const char16_t* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                       DWORD cbData);

// Stores a value in a sub-key of `hKey`, creating the sub-key when missing.
LSTATUS RegSetKeyValueW(HKEY hKey, const char16_t* lpSubKey, const char16_t* lpValueName, DWORD dwType, const void* lpData,
                        DWORD cbData);

// Sets the default value of a sub-key (created when missing) to a REG_SZ
// string with its terminator; dwType must be REG_SZ, cbData is ignored.
LSTATUS RegSetValueW(HKEY hKey, const char16_t* lpSubKey, DWORD dwType, const char16_t* lpData, DWORD cbData);

// Reads the default value of a sub-key as a string; *lpcbData is the buffer
// size in bytes on entry and the string's size on return. A key without a
// default value gives the empty string. Pitfall: a value of a non-string
// type gives ERROR_INVALID_DATA.
LSTATUS RegQueryValueW(HKEY hKey, const char16_t* lpSubKey, char16_t* lpData, PLONG lpcbData);

// Removes one value. ERROR_FILE_NOT_FOUND when there is none of that name.
LSTATUS RegDeleteValueW(HKEY hKey, const char16_t* lpValueName);

// Names the sub-key number dwIndex (0, 1, ... in case-insensitive name
// order) as stored. *lpcchName is the buffer size in characters on entry and
// the name's length without terminator on return; ERROR_MORE_DATA when the
// name and its terminator do not fit, ERROR_NO_MORE_ITEMS past the last.
// Pitfall: deleting or adding sub-keys while enumerating shifts the indexes.
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, char16_t* lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      char16_t* lpClass, LPDWORD lpcchClass, _FILETIME* lpftLastWriteTime);

// Names the value number dwIndex and (optionally) reads it, with the buffer
// rules of RegEnumKeyExW for the name and of RegQueryValueExW for the data.
LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, char16_t* lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Deletes a key that has no sub-keys (its values go with it). A key with
// sub-keys is refused with ERROR_ACCESS_DENIED. samDesired may carry a view
// flag. Pitfall: the rights of the handle `hKey` do not matter, so a key
// opened for reading can still lose its sub-keys this way.
LSTATUS RegDeleteKeyExW(HKEY hKey, const char16_t* lpSubKey, REGSAM samDesired, DWORD Reserved);

// RegDeleteKeyExW in the view of `hKey`.
LSTATUS RegDeleteKeyW(HKEY hKey, const char16_t* lpSubKey);

// Deletes a sub-key with everything below it, in one step that other
// processes see whole. With a null or empty lpSubKey the values and sub-keys
// of `hKey` are deleted and the key itself stays; then `hKey` must have
// been opened with DELETE, KEY_ENUMERATE_SUB_KEYS and KEY_QUERY_VALUE (else
// ERROR_ACCESS_DENIED). A named sub-key is deleted whatever the rights of
// `hKey`. Pitfall: through HKEY_CLASSES_ROOT only the user's part can be
// deleted.
LSTATUS RegDeleteTreeW(HKEY hKey, const char16_t* lpSubKey);

// Makes every change so far durable on disk.
LSTATUS RegFlushKey(HKEY hKey);


// Full path of the store of this user (for diagnostics and tests); empty
// when no location can be determined. Pitfall: read once at the first
// registry call; later changes of XDG_CONFIG_HOME are not followed.
CString RegistryStorePath();

// Why the registry could not be used at the last attempt to open its store
// ("not a regular file: ...", "file is not a database"); empty while it
// can. The calls themselves only say ERROR_REGISTRY_IO_FAILED. Pitfall:
// Windows' registry is the system's own, so there this is always empty.
CString RegistryStoreProblem();

} // namespace platform

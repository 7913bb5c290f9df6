// The registry calls pass straight to advapi32: the real per-user hive,
// both views and HKEY_CLASSES_ROOT as Windows merges it. Only our UTF-16
// strings are taken over as the system's wide characters.
#include "platform/Registry.h"

#include "platform/Win32_win.h"

namespace platform {

using win::W;

LSTATUS RegOpenKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    return ::RegOpenKeyExW(hKey, W(lpSubKey), ulOptions, samDesired, phkResult);
}

LSTATUS RegOpenKeyW(HKEY hKey, const char16_t* lpSubKey, PHKEY phkResult)
{
    return ::RegOpenKeyW(hKey, W(lpSubKey), phkResult);
}

LSTATUS RegCreateKeyExW(HKEY hKey, const char16_t* lpSubKey, DWORD Reserved, char16_t* lpClass, DWORD dwOptions,
                        REGSAM samDesired, const void* lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    return ::RegCreateKeyExW(hKey, W(lpSubKey), Reserved, W(lpClass), dwOptions, samDesired,
                             static_cast<SECURITY_ATTRIBUTES*>(const_cast<void*>(lpSecurityAttributes)), phkResult,
                             lpdwDisposition);
}

LSTATUS RegCreateKeyW(HKEY hKey, const char16_t* lpSubKey, PHKEY phkResult)
{
    return ::RegCreateKeyW(hKey, W(lpSubKey), phkResult);
}

LSTATUS RegCloseKey(HKEY hKey)
{
    return ::RegCloseKey(hKey);
}

LSTATUS RegQueryValueExW(HKEY hKey, const char16_t* lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData)
{
    return ::RegQueryValueExW(hKey, W(lpValueName), lpReserved, lpType, lpData, lpcbData);
}

LSTATUS RegSetValueExW(HKEY hKey, const char16_t* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                       DWORD cbData)
{
    return ::RegSetValueExW(hKey, W(lpValueName), Reserved, dwType, lpData, cbData);
}

LSTATUS RegSetKeyValueW(HKEY hKey, const char16_t* lpSubKey, const char16_t* lpValueName, DWORD dwType,
                        const void* lpData, DWORD cbData)
{
    return ::RegSetKeyValueW(hKey, W(lpSubKey), W(lpValueName), dwType, lpData, cbData);
}

LSTATUS RegSetValueW(HKEY hKey, const char16_t* lpSubKey, DWORD dwType, const char16_t* lpData, DWORD cbData)
{
    return ::RegSetValueW(hKey, W(lpSubKey), dwType, W(lpData), cbData);
}

LSTATUS RegQueryValueW(HKEY hKey, const char16_t* lpSubKey, char16_t* lpData, PLONG lpcbData)
{
    return ::RegQueryValueW(hKey, W(lpSubKey), W(lpData), lpcbData);
}

LSTATUS RegDeleteValueW(HKEY hKey, const char16_t* lpValueName)
{
    return ::RegDeleteValueW(hKey, W(lpValueName));
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, char16_t* lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      char16_t* lpClass, LPDWORD lpcchClass, _FILETIME* lpftLastWriteTime)
{
    return ::RegEnumKeyExW(hKey, dwIndex, W(lpName), lpcchName, lpReserved, W(lpClass), lpcchClass,
                           lpftLastWriteTime);
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, char16_t* lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    return ::RegEnumValueW(hKey, dwIndex, W(lpValueName), lpcchValueName, lpReserved, lpType, lpData, lpcbData);
}

LSTATUS RegDeleteKeyExW(HKEY hKey, const char16_t* lpSubKey, REGSAM samDesired, DWORD Reserved)
{
    return ::RegDeleteKeyExW(hKey, W(lpSubKey), samDesired, Reserved);
}

LSTATUS RegDeleteKeyW(HKEY hKey, const char16_t* lpSubKey)
{
    return ::RegDeleteKeyW(hKey, W(lpSubKey));
}

LSTATUS RegDeleteTreeW(HKEY hKey, const char16_t* lpSubKey)
{
    return ::RegDeleteTreeW(hKey, W(lpSubKey));
}

LSTATUS RegFlushKey(HKEY hKey)
{
    return ::RegFlushKey(hKey);
}

CString RegistryStorePath()
{
    return u"HKEY_CURRENT_USER";
}

CString RegistryStoreProblem()
{
    return CString();
}

} // namespace platform

// Windows base types and the few macros every layer names (TRUE, MAX_PATH,
// STILL_ACTIVE, INVALID_FILE_ATTRIBUTES). On Windows they are the system's
// own, from <windows.h>; elsewhere this header defines them with the same
// names, sizes and values, so that code written against them builds
// unchanged for both. The constants of one facility (registry, files,
// message boxes, errors) live in that facility's header, defined the same
// way.
//
// Strings of our own are char16_t (CString, u"" literals) on every system.
// WCHAR and the LP*WSTR pointers are the system's wide character type: on
// Windows that is wchar_t, so they belong in the Windows realisation, where
// text crosses into the Win32 API, and not in neutral headers.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
// Every translation unit sees the same system headers, so that the
// system's macros rename nothing differently in two of them.
#include <commctrl.h>
#include <rpc.h>
#include <shlobj.h>

// Macros of the system headers that would rename functions of ours:
// 16-bit leftovers (CTime::GetCurrentTime, platform::FreeModule) and the
// A/W pairs whose names we use for our own functions.
#undef GetCurrentTime
#undef FreeModule
#undef OutputDebugString
#undef UuidToString
#undef VerQueryValue
#undef WriteConsole

#else // the POSIX realisation of the Windows base types

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPCSTR = const char*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Exit code reported for a process that has not ended yet.
#define STILL_ACTIVE ((DWORD)259)

// Maximum length of a path in the fixed-size buffers the records use.
#define MAX_PATH 260

// Every bit set: an attribute word that could not be read.
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFFu)

#endif

static_assert(sizeof(BYTE) == 1 && sizeof(WORD) == 2 && sizeof(DWORD) == 4 && sizeof(LONG) == 4 &&
                  sizeof(ULONGLONG) == 8 && sizeof(WCHAR) == 2,
              "Windows base types keep their Windows sizes");

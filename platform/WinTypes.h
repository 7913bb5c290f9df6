// Windows base types as the core code names them, mapped onto fixed-width
// standard types so that sizes match the Windows ABI on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using WCHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;
using LPCSTR = const char*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Exit code reported for a process that has not ended yet.
constexpr DWORD STILL_ACTIVE = 259;

// Maximum length of a path in the fixed-size buffers the records use.
constexpr int MAX_PATH = 260;

// Every bit set: an attribute word that could not be read.
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

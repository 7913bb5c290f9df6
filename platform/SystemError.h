// The one error vocabulary of the platform layer: Windows error codes, with
// their Windows values, on every system. A realisation that gets its
// failures in another form (errno on POSIX) maps them to these codes before
// they leave it; callers never see a native error number.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

#ifndef _WIN32
// The codes the layer reports, as <winerror.h> defines them.
#define ERROR_SUCCESS 0
#define NO_ERROR 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_DATA 13
#define ERROR_OUTOFMEMORY 14
#define ERROR_NOT_SAME_DEVICE 17
#define ERROR_BAD_COMMAND 22
#define ERROR_WRITE_PROTECT 19
#define ERROR_WRITE_FAULT 29
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_LOCK_VIOLATION 33
#define ERROR_HANDLE_EOF 38
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BROKEN_PIPE 109
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_BAD_PATHNAME 161
#define ERROR_BUSY 170
#define ERROR_ALREADY_EXISTS 183
#define ERROR_BAD_EXE_FORMAT 193
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_NO_DATA 232
#define ERROR_MORE_DATA 234
#define ERROR_NO_MORE_ITEMS 259
#define ERROR_DIRECTORY 267
#define ERROR_NOT_OWNER 288
#define ERROR_CANTREAD 1012
#define ERROR_CANTWRITE 1013
#define ERROR_REGISTRY_CORRUPT 1015
#define ERROR_REGISTRY_IO_FAILED 1016
#define ERROR_KEY_DELETED 1018
#define ERROR_NO_ASSOCIATION 1155
#define ERROR_NOT_FOUND 1168
#define ERROR_CANCELLED 1223
#define ERROR_CANT_RESOLVE_FILENAME 1921
#endif

namespace platform {

// Bit 29 marks a code as application-defined; Windows never sets it in its
// own codes. A failure a realisation has no Windows code for is reported
// with this bit over the native number, so that its text can still be found.
constexpr DWORD ciApplicationErrorBit = 0x20000000u;

// The system's description of a Windows error code (without a trailing line
// break), or empty when the system has no text for it. Pitfall: code 0
// (ERROR_SUCCESS) has a text of its own, it is not empty.
CString SystemErrorText(DWORD errorCode);

} // namespace platform

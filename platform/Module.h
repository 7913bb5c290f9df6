// Modules (the program and its shared libraries): paths, lookup of loaded
// modules, run-time loading and symbol lookup. A Windows module name
// "X.dll" stands for the library "libX.so".
#pragma once

#include "platform/CString.h"

namespace platform {

// An opaque module handle; null means "no module".
using ModuleHandle = void*;

// The module (program or shared library) whose code or data holds `address`.
// Pitfall: returns null for addresses on the heap or stack.
ModuleHandle ModuleFromAddress(const void* address);

// Full path of a module; null means the running program. Empty when unknown.
CString ModuleFileName(ModuleHandle module);

// Full path of the running program's executable (/proc/self/exe).
CString ExecutablePath();

// Maps a Windows module name to the file name used here: "X.dll" (any case
// of the extension) becomes "libX.so"; other names are kept.
CString MapModuleName(const CString& name);

// A module with this name (mapped as above, compared by file name) that is
// already loaded in the process; null when it is not loaded. Does not load.
ModuleHandle FindLoadedModule(const CString& name);

// Loads a module. An absolute path is loaded as given; a bare name is
// looked up in the folder of the module holding `askingAddress` (the
// caller passes the address of one of its own functions; letter case is
// ignored there when no file has the exact name), then by the system's
// search. Returns null on failure; `error` (if given) gets the
// loader's message. Pitfall: each successful load must be matched by
// FreeModule if the module is to be unloaded again.
ModuleHandle LoadModule(const CString& name, const void* askingAddress, CString* error = nullptr);

// Releases a module loaded with LoadModule.
void FreeModule(ModuleHandle module);

// Address of an exported symbol, or null.
void* ModuleSymbol(ModuleHandle module, const char* name);

} // namespace platform

// Stack capture and symbol lookup for stack traces: return addresses of the
// calling thread and, through a symbol library loaded at run time, the source
// file, line and function name of an address. The process runs on (without
// symbols) where the library is missing.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"

namespace platform::debughelp {

// Names the symbol library that Link loads (default "libdw.so.1"); null
// restores the default. Pitfall: only the next Link call sees the new name.
void SetLibraryName(const char* name);

// Loads the symbol library and resolves every entry point it needs. Returns
// true when all were found; on failure one line goes to the debugger output.
// Pitfall: a loaded library is never unloaded, even when Link is called again.
bool Link();

// Starts a symbol session for the current process, covering the modules
// loaded at this moment. Returns false when the session cannot be made.
// Pitfall: modules loaded after this call are unknown until the next session.
bool Initialize();

// Ends the symbol session; harmless when none is active.
void Cleanup();

// True while a symbol session is active.
bool IsInitialized();

// Stores up to maxCount return addresses of the calling thread, innermost
// first, leaving out this function's own frame and `skipFrames` more frames
// of its callers. Returns the number stored. Pitfall: the callers whose
// frames are skipped must not be inlined into their own callers.
int CaptureStack(ULONGLONG* addresses, int maxCount, int skipFrames);

// Source file and line of the code at `address`. Returns false when the
// session has no line information for it. Pitfall: for a return address pass
// the address minus one, or the line after the call may be reported.
bool LineFromAddress(ULONGLONG address, CString& file, int& line);

// Readable (demangled) name of the function holding `address`, without its
// parameter list ("CCallStack::ToString"); false when no symbol covers it.
bool SymbolFromAddress(ULONGLONG address, CString& name);

// Whether `fileName` (a source file name without folder, any case) is the
// source of this module's own realisation: frames of it belong to the
// capture, not to its caller, and are left out of traces.
bool IsOwnSourceFile(const CString& fileName);

} // namespace platform::debughelp

// The process's console and debugger output: diagnostic lines to standard
// error, coloured when it is a terminal, and diagnostic text for an attached
// debugger. Standard output is never written: in a process that loaded the
// library it may be that program's data (a tool writing to a pipe).
#pragma once

#include "platform/CString.h"

namespace platform {

// Console text colours by their Windows attribute numbers.
enum EConsoleColour : int {
    eConsoleGrey = 7,
    eConsoleRed = 12,
    eConsoleYellow = 14,
};

// Writes `text` to standard error in one piece, in `colour` when standard
// error is a terminal (other values than the named ones print uncoloured).
// Pitfall: text is written unbuffered, bypassing any stdio buffer the
// program has for standard error.
void WriteConsole(const CString& text, int colour);

// True when standard error is a terminal.
bool IsConsoleTerminal();

// True when a debugger (any tracer) is attached to this process.
// Pitfall: looked up on every call, so it follows a debugger attaching later.
bool IsDebuggerAttached();

// Sends `text` to the debugger output (where the system has none, standard
// error while a debugger is attached, and nothing otherwise).
void OutputDebugString(const CString& text);

} // namespace platform

// The process's console and debugger output: text lines to standard output,
// coloured when it is a terminal, and diagnostic text for an attached
// debugger.
#pragma once

#include "platform/CString.h"

namespace platform {

// Console text colours by their Windows attribute numbers.
enum EConsoleColour : int {
    eConsoleGrey = 7,
    eConsoleRed = 12,
    eConsoleYellow = 14,
};

// Writes `text` to standard output in one piece, in `colour` when standard
// output is a terminal (other values than the named ones print uncoloured).
// Pitfall: text is written unbuffered, bypassing any stdio buffer the
// program has for standard output.
void WriteConsole(const CString& text, int colour);

// True when standard output is a terminal.
bool IsConsoleTerminal();

// True when a debugger (any tracer) is attached to this process.
// Pitfall: looked up on every call, so it follows a debugger attaching later.
bool IsDebuggerAttached();

// Sends `text` to the debugger output: standard error, and only while a
// debugger is attached; nothing otherwise.
void OutputDebugString(const CString& text);

} // namespace platform

// CCallStack: the return addresses of the current thread's stack, captured
// when the object is made, rendered as text with source file, line and
// function name for the log.
#pragma once

#include <mutex>

#include "platform/CString.h"
#include "platform/WinTypes.h"

class CCallStack {
public:
    static constexpr int ciMaxStackSize = 16;

    // Captures the trace of the calling thread (at most 16 frames, the
    // capture code's own frames left out). The first live instance starts
    // the symbol session; it ends when the last one goes.
    CCallStack();
    CCallStack(const CCallStack& other);
    ~CCallStack();
    // Copies the addresses.
    CCallStack& operator=(const CCallStack& other);

    // One line per frame, each ending in "\r\n":
    //   "    <file> (<line>): <function>"  or
    //   "    0x<address> (File and line number not available): <function>".
    // "(No stack trace availabe)" when the symbol library cannot be used.
    CString ToString() const;

    // Names the symbol library to use from the next construction on (null
    // for the default). Takes effect only while no instance is alive.
    static void SetDebugHelpLibrary(const char* name);
    // Number of live instances the symbol session is held for.
    static int GetInitCount();

private:
    static bool LinkDebugHelpDll();
    void GetStackTrace();

    ULONGLONG m_addresses[ciMaxStackSize];
    bool m_bCounted; // this instance holds a share of the symbol session

    static std::mutex m_cs;
    static bool m_bLinkTried;
    static int m_bLoadSuccess;
    static int m_iInitCount;
};

// Findable top-level windows and the WM_COPYDATA message between processes:
// a window registered under a class name and a title can be found by any
// process of the same user (FindWindowW), asked for its process
// (GetWindowThreadProcessId) and sent a block of data that its owner handles
// on the window's own thread, the sender waiting for the handler's result
// (SendMessageW with WM_COPYDATA).
//
// The receiving side never blocks its owning thread on a sender: data is
// collected elsewhere, bounded in size and time, and only a complete message
// is handed to the owning thread through the dispatcher the owner supplies
// (the GUI framework's "run this on the UI thread").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/CString.h"
#include "platform/WinTypes.h"

// ---- Windows types and the one message carried --------------------------------

#ifndef _WIN32
struct HWND__; // opaque; a handle value names a window known to this process
using HWND = HWND__*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using ULONG_PTR = std::uintptr_t;

#define WM_COPYDATA 0x004A

// The data of a WM_COPYDATA message: a number and a block of bytes.
struct COPYDATASTRUCT {
    ULONG_PTR dwData; // a number chosen by the sender
    DWORD cbData;     // bytes at lpData
    void* lpData;     // the block; valid only while the handler runs
};
#endif

namespace platform {

// The first top-level window of this user whose class and title are exactly
// the given ones; null when there is none (also when either name is null).
// Pitfall: the window may close the moment after it was found; SendMessageW
// then fails and returns 0.
HWND FindWindowW(const char16_t* lpClassName, const char16_t* lpWindowName);

// The process that owns the window into *lpdwProcessId (if given); returns
// a non-zero thread number, or 0 (and process 0) for an unknown handle.
DWORD GetWindowThreadProcessId(HWND hWnd, DWORD* lpdwProcessId);

// Sends WM_COPYDATA (lParam is a COPYDATASTRUCT*) and returns what the
// receiver's handler returned, waiting at most ciSendMessageTimeoutMs for
// it. Returns 0 when the message could not be delivered or answered in time
// (unknown or closed window, another message number, a block above
// ciMaxCopyDataBytes). A window of the calling thread is handled directly,
// as Windows does.
LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

} // namespace platform

namespace platform {

// Largest data block a window accepts; larger ones are refused unread.
constexpr DWORD ciMaxCopyDataBytes = 64 * 1024;
// How long a receiver waits for a sender to deliver a whole message once it
// has connected; a slower or silent sender is cut off.
constexpr DWORD ciReceiveTimeoutMs = 2000;
// How long SendMessageW waits for the receiver's handler to answer.
constexpr DWORD ciSendMessageTimeoutMs = 30000;

// Runs a function on the thread that owns a window (queued, never inline
// from another thread). The GUI framework provides it for its windows.
using WindowDispatcher = std::function<void(std::function<void()>)>;

// Handles one WM_COPYDATA message on the owning thread and returns the
// message's result. `wParam` is the sender's value as sent.
using CopyDataHandler = std::function<LRESULT(WPARAM wParam, const COPYDATASTRUCT& data)>;

// Sends WM_COPYDATA and tells apart "not delivered" (false) from a handler
// that returned 0 (true with result 0). `timeoutMs` bounds the wait for the
// answer.
bool SendCopyData(HWND window, WPARAM wParam, const COPYDATASTRUCT& data, DWORD timeoutMs, LRESULT& result);

enum class EWindowCreateResult {
    eCreated,        // findable from now on
    eNameTaken,      // a live window of this user already has that class and title
    eFolderRefused,  // the folder of the user's windows is not private to the user
    eFailed,         // the system refused (details in the log of the caller)
};

// A top-level window that other processes of the user can find by class and
// title and send WM_COPYDATA to. The handler runs on the thread the
// dispatcher runs functions on; it is never called after Destroy. Not
// copyable; destroy it on the thread that owns it.
class CFindableWindow {
public:
    CFindableWindow();
    ~CFindableWindow();
    CFindableWindow(const CFindableWindow&) = delete;
    CFindableWindow& operator=(const CFindableWindow&) = delete;

    // Makes the window findable. Pitfall: two windows with the same class and
    // title cannot exist at once for one user; the second gets eNameTaken,
    // which is how a program tells that another instance runs.
    EWindowCreateResult Create(const CString& className, const CString& title, CopyDataHandler handler,
                               WindowDispatcher dispatcher);
    // No longer findable; messages not yet handled are answered with 0.
    void Destroy();

    bool IsCreated() const;
    // The handle other code of this process uses for the window (null before
    // Create).
    HWND GetHandle() const;

    struct SImpl;

private:
    std::shared_ptr<SImpl> m_impl;
};

// The folder that holds the user's findable windows (mode 0700, the
// user's), created when missing; empty when no private folder can be had.
CString WindowFolder();

// The file name (in WindowFolder) of the socket of the window with this
// class and title; for diagnostics and tests.
CString WindowSocketName(const CString& className, const CString& title);

} // namespace platform

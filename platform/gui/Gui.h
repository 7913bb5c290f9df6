// The dialog framework's process-wide part: starting the GUI, the way in
// from other threads, real message boxes, icons and window images.
//
//   int main() {
//       if (!platform::gui::InitGui()) ... // no display: console message boxes stay
//       CMyDlg dlg;
//       dlg.DoModal();
//   }
//   // from a worker or socket thread:
//   platform::gui::PostToUiThread([hwnd, text] { ::SendMessageW(hwnd, WM_APP, 0, 0); });
//
// The GUI starts by itself with the first dialog or message box when a
// display is there; InitGui just makes it explicit. The user-interface
// thread is the thread that started it. Without a display (no DISPLAY,
// WAYLAND_DISPLAY or QT_QPA_PLATFORM), no window is made: DoModal returns -1
// and message boxes keep the console realisation of platform/MessageBox.h.
#pragma once

#include <functional>

#include "platform/CString.h"
#include "platform/gui/GuiTypes.h"

namespace platform::gui {

// Starts the GUI in this process if it is not running yet: the toolkit's
// application object (unless the process already has one), the program's
// icon (icon group 2016 of the resource chain, when present), and real
// message boxes in place of the console ones (unless a handler other than
// the console one is installed). Returns whether the GUI runs.
bool InitGui();
// Whether the GUI runs in this process.
bool IsGuiRunning();
// Whether a display is there to start the GUI on.
bool HasDisplay();
// Lets a later InitGui start without a display: windows are then drawn off
// screen (they still run, and can be pictured). Call before InitGui.
void UseOffscreenDisplay();

// Whether the caller runs on the user-interface thread.
bool IsUiThread();
// Runs `task` on the user-interface thread from its event loop (any modal
// loop included), in the order posted. Callable from any thread; tasks
// posted before the GUI starts run once it does.
void PostToUiThread(std::function<void()> task);
// Runs `task` on the user-interface thread and waits until it has run (at
// once when called there). Pitfall: must not be called while the
// user-interface thread waits for the caller.
void InvokeOnUiThread(const std::function<void()>& task);
// Runs the events that are due now (timers, posted tasks, painting), then
// returns; with `milliseconds` > 0 keeps doing so for that long.
void ProcessEvents(int milliseconds = 0);

// A real message box: `text` as written, `caption` as title, icon, buttons
// and default button by the MB_ bits of `type`; returns the ID of the
// button chosen (IDOK, IDCANCEL, IDYES, IDNO, ...). Owned by `owner`, else by
// the innermost modal dialog. Escape and the close box answer IDCANCEL
// where the box has a Cancel button, IDOK for an OK-only box, and do nothing
// for Yes/No and Abort/Retry/Ignore boxes. Falls back to the console box
// when the GUI cannot run.
int ShowMessageBox(HWND owner, const CString& text, const CString& caption, UINT type);
// The title AfxMessageBox uses: "veilcase" unless set otherwise.
void SetMessageBoxTitle(const CString& title);
CString GetMessageBoxTitle();

// Icon group `id` of the resource chain (all its sizes), shared and kept
// for the life of the process; null when missing or the GUI cannot run.
HICON LoadIconResource(UINT id);

// Writes what the window shows now (a dialog with all its controls) as a
// PNG file. False when the window is gone or the file cannot be written.
bool SaveWindowImage(HWND window, const CString& path);

} // namespace platform::gui

#ifndef _WIN32 // on Windows the system's own
// MessageBoxW: platform::gui::ShowMessageBox with the Windows signature; a
// null caption reads "Error", as Windows has it.
int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type);
#endif

// Private to the Qt realisation: what every modal window (dialog or message
// box) tells the automation when it comes up and when it ends.
#pragma once

#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <functional>

#include "platform/CString.h"
#include "platform/gui/GuiTypes.h"

class CWnd;

namespace platform::gui::qt {

struct ModalRun {
    QPointer<QWidget> window;
    bool isMessageBox = false;
    UINT templateId = 0;
    CString caption;
    CString text;  // message box text
    UINT type = 0; // message box MB_ bits
    CWnd* dialog = nullptr;
    std::function<bool()> ended;       // has the modal loop been told to end?
    std::function<void()> endByDefault; // ends it as Escape would (or IDCANCEL)
    // Set by the automation.
    size_t ticket = static_cast<size_t>(-1);
    bool handled = false;
};

// Called when a modal window is up and its loop about to run: records it
// with the installed automation (if any) and schedules its action to run
// inside the loop. `run` must live until FinishModal.
void StartModal(ModalRun& run);
// Called after the loop ended, with the result.
void FinishModal(ModalRun& run, int result);

} // namespace platform::gui::qt

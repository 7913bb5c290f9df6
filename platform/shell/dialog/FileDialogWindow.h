// The window of a shown Open or Save dialog: it shows what the session
// holds, passes the user's actions to it and runs the modal loop.
#pragma once

#include <memory>

#include "platform/shell/dialog/FileDialogSession.h"

namespace platform {

class IFileDialogWindow : public CFileDialogSession::IView {
public:
    // Shows the dialog modally over `owner` until the session ends it.
    // False when no window can be shown in this process (no display).
    virtual bool Run(HWND owner) = 0;
    // The dialog window while it runs, else null.
    virtual HWND Handle() const = 0;
    // Whether Run had to start the GUI toolkit in this process.
    virtual bool StartedGui() const = 0;
};

// A window for `session`, which must outlive it.
std::unique_ptr<IFileDialogWindow> CreateFileDialogWindow(CFileDialogSession& session);

} // namespace platform

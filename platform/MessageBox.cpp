#include "platform/MessageBox.h"

#include "platform/Console.h"
#include "platform/Resources.h"

#include <initializer_list>
#include <mutex>
#include <string>

namespace {

std::mutex g_handlerLock;
MessageBoxHandler g_handler;

const char* IconWord(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
        return "Error";
    case MB_ICONQUESTION:
        return "Question";
    case MB_ICONWARNING:
        return "Warning";
    case MB_ICONINFORMATION:
        return "Information";
    default:
        return "Message";
    }
}

} // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard<std::mutex> lock(g_handlerLock);
    MessageBoxHandler previous = std::move(g_handler);
    g_handler = std::move(handler);
    return previous;
}

int AfxMessageBox(const CString& text, UINT type)
{
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(g_handlerLock);
        handler = g_handler;
    }
    // The handler runs without the lock: a modal box may itself show boxes.
    return handler ? handler(text, type) : ConsoleMessageBox(text, type);
}

int AfxMessageBox(UINT promptId, UINT type)
{
    CString text;
    platform::LoadResourceString(promptId, text); // empties the text when missing
    return AfxMessageBox(text, type);
}

int DefaultMessageBoxButton(UINT type)
{
    int choice = static_cast<int>((type & MB_DEFMASK) >> 8); // 0, 1 or 2
    auto pick = [choice](std::initializer_list<int> buttons) {
        size_t index = static_cast<size_t>(choice) < buttons.size() ? static_cast<size_t>(choice) : 0;
        return *(buttons.begin() + index);
    };
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return pick({IDOK, IDCANCEL});
    case MB_ABORTRETRYIGNORE:
        return pick({IDABORT, IDRETRY, IDIGNORE});
    case MB_YESNOCANCEL:
        return pick({IDYES, IDNO, IDCANCEL});
    case MB_YESNO:
        return pick({IDYES, IDNO});
    case MB_RETRYCANCEL:
        return pick({IDRETRY, IDCANCEL});
    default:
        return IDOK;
    }
}

int ConsoleMessageBox(const CString& text, UINT type)
{
    // Standard error, as the log's console lines: a console takes the text
    // as UTF-16 and a pipe as UTF-8, with the system's line end.
    platform::WriteConsole(CString::FromUtf8(std::string("[veilcase ") + IconWord(type) + "] ") + text + u"\n",
                           platform::eConsoleGrey);
    return DefaultMessageBoxButton(type);
}

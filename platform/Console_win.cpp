#include "platform/Console.h"

#include <cstdio>
#include <string>

#include "platform/Win32_win.h"

namespace platform {

namespace {

WORD ConsoleAttribute(int colour)
{
    switch (colour) {
    case eConsoleRed:
        return FOREGROUND_RED | FOREGROUND_INTENSITY;
    case eConsoleYellow:
        return FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY;
    default:
        return 0;
    }
}

// Lines end in "\r\n" on Windows.
CString WithWindowsLineEnds(const CString& text)
{
    CString out;
    for (int i = 0; i < text.GetLength(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            out += u'\r';
        out += text[i];
    }
    return out;
}

} // namespace

bool IsConsoleTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void WriteConsole(const CString& text, int colour)
{
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (!err || err == INVALID_HANDLE_VALUE)
        return;
    CString line = WithWindowsLineEnds(text);
    std::fflush(stderr); // keep order with whatever the program printed before
    DWORD mode = 0;
    if (::GetConsoleMode(err, &mode)) {
        // A console takes UTF-16 directly and colours by attribute.
        CONSOLE_SCREEN_BUFFER_INFO info{};
        WORD attribute = ConsoleAttribute(colour);
        bool coloured = attribute && ::GetConsoleScreenBufferInfo(err, &info);
        if (coloured)
            ::SetConsoleTextAttribute(err, attribute);
        DWORD written = 0;
        ::WriteConsoleW(err, win::W(line), static_cast<DWORD>(line.GetLength()), &written, nullptr);
        if (coloured)
            ::SetConsoleTextAttribute(err, info.wAttributes);
        return;
    }
    // A file or a pipe gets UTF-8, as everything the system writes here.
    std::string bytes = line.ToUtf8();
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(err, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

bool IsDebuggerAttached()
{
    return ::IsDebuggerPresent() != 0;
}

void OutputDebugString(const CString& text)
{
    ::OutputDebugStringW(win::W(text));
}

} // namespace platform

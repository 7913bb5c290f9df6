#include "platform/Console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace platform {

namespace {

// Writes all of `bytes` to `fd`, going on after interruptions and short
// writes; gives up silently on any other error (nobody reads diagnostics
// that cannot be written).
void WriteFully(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

const char* AnsiColour(int colour)
{
    switch (colour) {
    case eConsoleRed:
        return "\x1b[1;31m";
    case eConsoleYellow:
        return "\x1b[1;33m";
    default:
        return nullptr;
    }
}

} // namespace

bool IsConsoleTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void WriteConsole(const CString& text, int colour)
{
    std::string bytes = text.ToUtf8();
    const char* ansi = IsConsoleTerminal() ? AnsiColour(colour) : nullptr;
    if (ansi) {
        // Colour only the text itself and reset before a final line feed, so
        // that the terminal's next line starts uncoloured.
        std::string coloured = ansi;
        bool endsInNewline = !bytes.empty() && bytes.back() == '\n';
        if (endsInNewline)
            bytes.pop_back();
        coloured += bytes;
        coloured += "\x1b[0m";
        if (endsInNewline)
            coloured += '\n';
        bytes.swap(coloured);
    }
    std::fflush(stderr); // keep order with whatever the program printed before
    WriteFully(STDERR_FILENO, bytes);
}

bool IsDebuggerAttached()
{
    int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string status;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        status.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    size_t pos = status.find("\nTracerPid:");
    if (pos == std::string::npos)
        return false;
    pos += std::strlen("\nTracerPid:");
    while (pos < status.size() && (status[pos] == ' ' || status[pos] == '\t'))
        ++pos;
    return pos < status.size() && status[pos] >= '1' && status[pos] <= '9';
}

void OutputDebugString(const CString& text)
{
    if (!IsDebuggerAttached())
        return;
    WriteFully(STDERR_FILENO, text.ToUtf8());
}

} // namespace platform

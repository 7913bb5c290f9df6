// A child process for the process and file tests. Modes:
//   childproc args <a> <b> ...   prints each argument on a line of its own to
//                                standard output, then "on stderr" to
//                                standard error, and exits 0
//   childproc exit <code> [ms]   sleeps ms milliseconds, exits with code
//   childproc hold <path> [ms]   opens the file, prints "ready", keeps it
//                                open for ms milliseconds (default 60000)
//   childproc spawn [ms]         starts a grandchild that sleeps ms
//                                milliseconds (default 60000), prints its
//                                pid and exits 0 at once
//   childproc fds                prints the numbers of its open descriptors
//                                (not on Windows)
//   childproc write <n> <text>   writes text and a line end to the
//                                descriptor (on Windows: the handle) named
//                                by the number n, exits 0
//   childproc handle <n> <path>  prints "open" when handle number n names
//                                the file at path, else "closed" (Windows)
//   childproc edit <path>        an editing application a desktop entry
//                                starts: sleeps $CHILDPROC_EDIT_MS
//                                milliseconds, appends $CHILDPROC_EDIT_TEXT
//                                and a line end to the file (unset: leaves
//                                it as it is), stays $CHILDPROC_EDIT_STAY_MS
//                                milliseconds more, exits 0
// On Windows the arguments come as the C runtime splits the wide command
// line, and are printed as UTF-8.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

void SleepMs(long ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

long Arg(int argc, char** argv, int index, long fallback)
{
    return argc > index ? std::strtol(argv[index], nullptr, 10) : fallback;
}

} // namespace

#ifdef _WIN32
// The Windows modes: "args" with the runtime's wide arguments, "hold" with
// the file open for reading and writing by others, "spawn" through
// CreateProcess.
int Main(int argc, char** argv);

std::string Utf8(const wchar_t* text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

extern "C" int wmain(int argc, wchar_t** wargv)
{
    // Line ends are written as they are, as on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(Utf8(wargv[i]));
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string mode = argc > 1 ? args[1] : std::string();
    if (mode == "hold" && argc >= 3) {
        HANDLE file = CreateFileW(wargv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 3;
        std::printf("ready\n");
        std::fflush(stdout);
        SleepMs(Arg(argc, argv.data(), 3, 60000));
        CloseHandle(file);
        return 0;
    }
    if (mode == "spawn") {
        std::wstring line = L"\"" + std::wstring(wargv[0]) + L"\" exit 0 " + std::to_wstring(Arg(argc, argv.data(), 2, 60000));
        // The grandchild inherits the standard handles, as a forked child
        // does: a pipe on them breaks only when it has gone too.
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
            return 4;
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        std::printf("%lu\n", static_cast<unsigned long>(info.dwProcessId));
        std::fflush(stdout);
        return 0;
    }
    if (mode == "write" && argc >= 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(std::wcstoll(wargv[2], nullptr, 10)));
        std::string text = args[3] + "\n";
        DWORD written = 0;
        return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                       written == text.size()
                   ? 0
                   : 7;
    }
    if (mode == "handle" && argc >= 4) {
        // A handle number that names nothing, or another object, is not
        // the file: only a handle to that very file counts as passed on.
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(std::wcstoll(wargv[2], nullptr, 10)));
        wchar_t held[MAX_PATH * 2], wanted[MAX_PATH * 2];
        HANDLE byName = CreateFileW(wargv[3], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (byName == INVALID_HANDLE_VALUE)
            return 3;
        DWORD wantedLength = GetFinalPathNameByHandleW(byName, wanted, MAX_PATH * 2, 0);
        CloseHandle(byName);
        DWORD flags = 0;
        bool open = GetHandleInformation(handle, &flags) && GetFileType(handle) == FILE_TYPE_DISK &&
                    GetFinalPathNameByHandleW(handle, held, MAX_PATH * 2, 0) == wantedLength && wantedLength > 0 &&
                    std::wstring(held, wantedLength) == std::wstring(wanted, wantedLength);
        std::printf(open ? "open\n" : "closed\n");
        return 0;
    }
    return Main(argc, argv.data());
}

int Main(int argc, char** argv)
#else
int main(int argc, char** argv)
#endif
{
    if (argc < 2)
        return 2;
    std::string mode = argv[1];
    if (mode == "args") {
        for (int i = 2; i < argc; ++i)
            std::printf("%s\n", argv[i]);
        std::fflush(stdout);
        std::fprintf(stderr, "on stderr\n");
        return 0;
    }
    if (mode == "exit") {
        SleepMs(Arg(argc, argv, 3, 0));
        return static_cast<int>(Arg(argc, argv, 2, 0));
    }
#ifndef _WIN32
    if (mode == "hold" && argc >= 3) {
        int fd = open(argv[2], O_RDONLY);
        if (fd < 0)
            return 3;
        std::printf("ready\n");
        std::fflush(stdout);
        SleepMs(Arg(argc, argv, 3, 60000));
        close(fd);
        return 0;
    }
    if (mode == "spawn") {
        long ms = Arg(argc, argv, 2, 60000);
        pid_t pid = fork();
        if (pid < 0)
            return 4;
        if (pid == 0) {
            SleepMs(ms);
            _exit(0);
        }
        std::printf("%d\n", static_cast<int>(pid));
        std::fflush(stdout);
        return 0;
    }
    if (mode == "edit" && argc >= 3) {
        const char* ms = std::getenv("CHILDPROC_EDIT_MS");
        SleepMs(ms ? std::strtol(ms, nullptr, 10) : 0);
        if (const char* text = std::getenv("CHILDPROC_EDIT_TEXT")) {
            FILE* file = std::fopen(argv[2], "a");
            if (!file)
                return 6;
            bool written = std::fprintf(file, "%s\n", text) > 0;
            if (std::fclose(file) != 0 || !written)
                return 6;
        }
        const char* stay = std::getenv("CHILDPROC_EDIT_STAY_MS");
        SleepMs(stay ? std::strtol(stay, nullptr, 10) : 0);
        return 0;
    }
    if (mode == "write" && argc >= 4) {
        std::string text = std::string(argv[3]) + "\n";
        return write(std::atoi(argv[2]), text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 7;
    }
    if (mode == "fds") {
        DIR* dir = opendir("/proc/self/fd");
        if (!dir)
            return 5;
        int own = dirfd(dir);
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
                continue;
            std::printf("%s\n", entry->d_name);
        }
        closedir(dir);
        return 0;
    }
#endif
    return 2;
}

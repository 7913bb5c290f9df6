// Test child whose output and life span the test chooses. Options, applied
// in this order:
//   --argv           print every argument after the program name, one per line
//   --out N          write N bytes of lines "O<counter>..." to standard output
//   --err N          write N bytes of lines "E<counter>..." to standard error
//                    (--out and --err alternate line by line when both given)
//   --split-utf8 N   write "ä€😀\n" N times, each time in two writes that cut
//                    a character apart, 150 ms apart
//   --sleep-ms N     sleep N milliseconds
//   --status-file P  (as gpg takes it) the file --write-status writes to
//   --status-fd N    (as gpg takes it) the descriptor --write-status writes to
//   --write-status T write T to that file or descriptor, "\n" in T standing
//                    for a line feed
//   --repeat-status N write it N times (default 1)
//   --exit N         exit with N (default 0)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

void WriteAll(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0)
            std::exit(3);
        done += static_cast<size_t>(n);
    }
}

// One line of exactly 100 bytes (or the rest of `left`), tagged and counted.
std::string Line(char tag, long counter, long left)
{
    std::string line = tag + std::to_string(counter) + ' ';
    long size = left < 100 ? left : 100;
    if (static_cast<long>(line.size()) + 1 > size)
        return std::string(static_cast<size_t>(size), tag);
    line.append(static_cast<size_t>(size) - line.size() - 1, '.');
    return line + '\n';
}

} // namespace

int main(int argc, char** argv)
{
    long out = 0, err = 0, split = 0, sleepMs = 0;
    int exitCode = 0;
    bool printArgs = false;
    std::string statusFile, statusText;
    int statusFd = -1;
    long repeatStatus = 1;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::atol(argv[++i]) : 0L; };
        if (a == "--argv")
            printArgs = true;
        else if (a == "--out")
            out = next();
        else if (a == "--err")
            err = next();
        else if (a == "--split-utf8")
            split = next();
        else if (a == "--sleep-ms")
            sleepMs = next();
        else if (a == "--status-file" && i + 1 < argc)
            statusFile = argv[++i];
        else if (a == "--status-fd")
            statusFd = static_cast<int>(next());
        else if (a == "--repeat-status")
            repeatStatus = next();
        else if (a == "--write-status" && i + 1 < argc)
            statusText = argv[++i];
        else if (a == "--exit")
            exitCode = static_cast<int>(next());
    }
    if (printArgs)
        for (int i = 1; i < argc; ++i)
            WriteAll(1, std::string(argv[i]) + "\n");
    for (long counter = 0; out > 0 || err > 0; ++counter) {
        if (out > 0) {
            std::string line = Line('O', counter, out);
            WriteAll(1, line);
            out -= static_cast<long>(line.size());
        }
        if (err > 0) {
            std::string line = Line('E', counter, err);
            WriteAll(2, line);
            err -= static_cast<long>(line.size());
        }
    }
    const std::string text = "ä€😀\n"; // 2 + 3 + 4 + 1 bytes
    for (long i = 0; i < split; ++i) {
        size_t cut = 1 + static_cast<size_t>(i) % 8; // cuts inside each character in turn
        WriteAll(1, text.substr(0, cut));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        WriteAll(1, text.substr(cut));
    }
    if ((!statusFile.empty() || statusFd >= 0) && !statusText.empty()) {
        std::string text;
        for (size_t i = 0; i < statusText.size(); ++i) {
            if (statusText.compare(i, 2, "\\n") == 0) {
                text += '\n';
                ++i;
            } else {
                text += statusText[i];
            }
        }
        if (statusFd >= 0) {
            for (long n = 0; n < repeatStatus; ++n)
                WriteAll(statusFd, text);
        } else {
            std::ofstream(statusFile, std::ios::binary | std::ios::trunc) << text;
        }
    }
    if (sleepMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    return exitCode;
}

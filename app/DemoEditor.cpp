// veilcase-demo-editor: the editing application of the demonstration. It
// stands in for a text editor the desktop starts for a document: it waits a
// few seconds as a user would (long enough not to look like a launcher that
// hands the file on), adds a line to the file, notes when it ends (as
// "exit <monotonic milliseconds>" in $VEILCASE_DEMO_EDITOR_LOG) and exits.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    {
        std::ofstream file(argv[1], std::ios::app);
        file << "A line added by the editing application.\n";
        if (!file)
            return 1;
    }
    if (const char* log = std::getenv("VEILCASE_DEMO_EDITOR_LOG")) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (FILE* out = std::fopen(log, "w")) {
            std::fprintf(out, "exit %lld\n", static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
            std::fclose(out);
        }
    }
    return 0;
}

// Stands in for an application a desktop starts: appends its arguments, one
// per line, to the file named by $VEILCASE_RECORD_FILE (with its process id
// first), then stays for $VEILCASE_RECORD_STAY milliseconds (default 0).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv)
{
    const char* file = std::getenv("VEILCASE_RECORD_FILE");
    if (file) {
        if (FILE* out = std::fopen(file, "a")) {
            std::fprintf(out, "pid %d\n", static_cast<int>(getpid()));
            for (int i = 1; i < argc; ++i)
                std::fprintf(out, "%s\n", argv[i]);
            std::fclose(out);
        }
    }
    const char* stay = std::getenv("VEILCASE_RECORD_STAY");
    if (stay)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(stay)));
    return 0;
}

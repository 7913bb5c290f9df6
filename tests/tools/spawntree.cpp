// Test child: starts a child of its own, both report their process ids on
// standard output ("root <pid>", "child <pid>") and then hang until killed.
#include <cstdio>
#include <sys/types.h>
#include <unistd.h>

int main()
{
    std::printf("root %d\n", static_cast<int>(getpid()));
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        std::printf("child %d\n", static_cast<int>(getpid()));
        std::fflush(stdout);
    }
    for (;;)
        pause();
}

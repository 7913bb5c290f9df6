// veilcase-info: prints what the system resolved on this machine.
#include <cstdio>

#include "Key.h"

int main()
{
    std::printf("veilcase-info\n");
    return 0;
}

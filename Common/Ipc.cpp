#include "Ipc.h"

platform::ModuleHandle CIpc::GetVeilcaseDllModuleHandle()
{
    // The address of this very function lies in the library's code, so the
    // module holding it is the library, whichever program loaded it.
    return platform::ModuleFromAddress(reinterpret_cast<const void*>(&CIpc::GetVeilcaseDllModuleHandle));
}

// CIpc: communication between the library in an application and the
// background program; today the library's own module handle.
#pragma once

#include "platform/Module.h"

class CIpc {
public:
    // The module handle of the veilshim library itself (the library this
    // code is part of), never null while the library is loaded. Used to
    // find the library's folder and its resources.
    static platform::ModuleHandle GetVeilcaseDllModuleHandle();
};

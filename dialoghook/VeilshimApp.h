// CVeilshimApp: the library's start and end in a process. At load the
// resource module of the library's folder joins the resource chain, so that
// the strings and dialogs of both modules are found.
#pragma once

#include "platform/Module.h"

class CVeilshimApp {
public:
    // Loads "veilcaseRes64.dll" from the library's own folder into the
    // resource chain. A missing resource module is logged; messages and
    // dialogs are then not found. Returns whether it was found.
    bool InitInstance();
    // Takes the resource module out of the chain again.
    void ExitInstance();

    // The application object of the library (its constructor runs
    // InitInstance when the library is loaded).
    static CVeilshimApp& Instance();

private:
    platform::ModuleHandle m_hResources = nullptr;
};

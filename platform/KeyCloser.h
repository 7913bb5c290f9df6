// CKeyCloser: closes an open registry key when it goes out of scope, so
// that no early return leaves a key handle open.
#pragma once

#include "platform/Registry.h"

namespace platform {

class CKeyCloser {
public:
    explicit CKeyCloser(HKEY key) : m_key(key) {}
    // Out of line on purpose: a module that carries its own copy of the
    // registry layer (the COM runtime) must close its keys with that copy,
    // which an inline destructor bound to another module's would not do.
    ~CKeyCloser();
    CKeyCloser(const CKeyCloser&) = delete;
    CKeyCloser& operator=(const CKeyCloser&) = delete;

private:
    HKEY m_key;
};

} // namespace platform

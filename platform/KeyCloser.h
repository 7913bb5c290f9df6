// CKeyCloser: closes an open registry key when it goes out of scope, so
// that no early return leaves a key handle open.
#pragma once

#include "platform/Registry.h"

namespace platform {

class CKeyCloser {
public:
    explicit CKeyCloser(HKEY key) : m_key(key) {}
    ~CKeyCloser()
    {
        if (m_key)
            platform::RegCloseKey(m_key);
    }
    CKeyCloser(const CKeyCloser&) = delete;
    CKeyCloser& operator=(const CKeyCloser&) = delete;

private:
    HKEY m_key;
};

} // namespace platform

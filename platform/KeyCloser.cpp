#include "platform/KeyCloser.h"

namespace platform {

CKeyCloser::~CKeyCloser()
{
    if (m_key)
        platform::RegCloseKey(m_key);
}

} // namespace platform

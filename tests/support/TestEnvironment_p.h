// Private to the test support: what the system-specific part gives the
// shared one.
#pragma once

#include <string>

namespace testsupport {

// A tag that tells this test process's folders from another's.
std::string ProcessTag();

} // namespace testsupport

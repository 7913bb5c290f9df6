// The syntax of paths on this system: which character separates the levels
// of a path, which paths are roots and which are absolute. Code above the
// platform layer asks these instead of assuming a separator.
#pragma once

#include "platform/CString.h"

namespace platform {

// The separator this system writes between the levels of a path.
char16_t PathSeparator();

// Whether `ch` separates levels of a path here. Pitfall: Windows accepts
// both '\' and '/', so never compare with PathSeparator() alone.
bool IsPathSeparator(char16_t ch);

// Position of the last separator in `path`, -1 when it has none.
int ReverseFindSeparator(const CString& path);

// Whether `path` is the root of a file system with its trailing separator
// ("/" here, "C:\" or "\\server\share\" on Windows): the one folder whose
// separator belongs to its name.
bool IsRootPath(const CString& path);

// Whether `path` is absolute (it does not depend on the current folder).
bool IsAbsolutePath(const CString& path);

} // namespace platform

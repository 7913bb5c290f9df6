// Private to the time functions: what each system gives the shared part.
#pragma once

#include <ctime>

#include "platform/WinTypes.h"

namespace platform {

// The local calendar fields of a time in seconds since 1970; false when the
// system cannot represent it.
bool LocalFields(LONGLONG seconds, tm& fields);

// Seconds since 1970 of local calendar fields, normalising them the way
// mktime does; false when the time cannot be represented.
bool SecondsOfLocalFields(tm& fields, LONGLONG& seconds);

} // namespace platform

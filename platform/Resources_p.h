// Private to the resource code: what each realisation answers about one
// source of resources.
#pragma once

#include "platform/Resources.h"

namespace platform {

// Whether `source` has a resource of this type and id in any language.
bool HasResource(ResourceSource source, ResourceType type, UINT id);

} // namespace platform

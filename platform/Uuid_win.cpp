#include "platform/Uuid.h"

#include <cstring>
#include <rpc.h>

namespace platform {

bool CreateUuid(SUuid& uuid)
{
    std::memset(&uuid, 0, sizeof uuid);
    UUID created{};
    // RPC_S_UUID_LOCAL_ONLY would mean a UUID unique to this machine only;
    // UuidCreate gives random version-4 UUIDs and reports that never.
    if (::UuidCreate(&created) != RPC_S_OK)
        return false;
    uuid.data1 = created.Data1;
    uuid.data2 = created.Data2;
    uuid.data3 = created.Data3;
    std::memcpy(uuid.data4, created.Data4, sizeof uuid.data4);
    return true;
}

} // namespace platform

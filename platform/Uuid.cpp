#include "platform/Uuid.h"

namespace platform {

CString UuidToString(const SUuid& uuid)
{
    CString text;
    text.Format(u"%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(uuid.data1),
                static_cast<unsigned>(uuid.data2), static_cast<unsigned>(uuid.data3), uuid.data4[0], uuid.data4[1],
                uuid.data4[2], uuid.data4[3], uuid.data4[4], uuid.data4[5], uuid.data4[6], uuid.data4[7]);
    return text;
}

} // namespace platform

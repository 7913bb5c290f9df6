#include "platform/Uuid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace platform {

bool CreateUuid(SUuid& uuid)
{
    std::memset(&uuid, 0, sizeof uuid);
    BYTE bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        got += static_cast<size_t>(n);
    }
    // The bytes in text order; the version sits in the high nibble of the
    // seventh, the variant in the two high bits of the ninth.
    bytes[6] = static_cast<BYTE>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<BYTE>((bytes[8] & 0x3F) | 0x80);
    uuid.data1 = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | DWORD(bytes[3]);
    uuid.data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
    uuid.data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
    std::memcpy(uuid.data4, bytes + 8, 8);
    return true;
}

} // namespace platform

// MD5 digests (RFC 1321), computed incrementally.
#pragma once

#include <cstddef>

#include "platform/WinTypes.h"

namespace platform {

// One MD5 computation: Update with the data in any number of pieces, then
// Final. Move-only.
class CMd5 {
public:
    static constexpr int ciDigestSize = 16;

    // Starts a computation; Failed() tells whether the crypto library could
    // provide one.
    CMd5();
    ~CMd5();
    CMd5(CMd5&& other) noexcept;
    CMd5& operator=(CMd5&& other) noexcept;
    CMd5(const CMd5&) = delete;
    CMd5& operator=(const CMd5&) = delete;

    // Feeds `size` bytes. Returns false (and marks the computation failed)
    // when the library reports an error or the computation had failed.
    bool Update(const void* data, size_t size);

    // Writes the 16-byte digest. Returns false when the computation failed;
    // `digest` is then left unchanged. Pitfall: a computation can be
    // finished only once; later calls fail.
    bool Final(BYTE (&digest)[ciDigestSize]);

    bool Failed() const { return m_failed; }

private:
    void* m_context = nullptr; // the library's digest context
    bool m_failed = false;
};

} // namespace platform

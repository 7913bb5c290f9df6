// MD5 through the CryptoAPI of the system.
#include "platform/Md5.h"

#include <utility>

#include <windows.h>
#include <wincrypt.h>

namespace platform {

namespace {

// One provider and hash object per computation.
struct SMd5Context {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    ~SMd5Context()
    {
        if (hash)
            ::CryptDestroyHash(hash);
        if (provider)
            ::CryptReleaseContext(provider, 0);
    }
};

SMd5Context* Context(void* context)
{
    return static_cast<SMd5Context*>(context);
}

} // namespace

CMd5::CMd5()
{
    auto* context = new SMd5Context;
    if (!::CryptAcquireContextW(&context->provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
        !::CryptCreateHash(context->provider, CALG_MD5, 0, 0, &context->hash)) {
        delete context;
        m_failed = true;
        return;
    }
    m_context = context;
}

CMd5::~CMd5()
{
    delete Context(m_context);
}

CMd5::CMd5(CMd5&& other) noexcept
    : m_context(std::exchange(other.m_context, nullptr)), m_failed(std::exchange(other.m_failed, true))
{
}

CMd5& CMd5::operator=(CMd5&& other) noexcept
{
    if (this != &other) {
        delete Context(m_context);
        m_context = std::exchange(other.m_context, nullptr);
        m_failed = std::exchange(other.m_failed, true);
    }
    return *this;
}

bool CMd5::Update(const void* data, size_t size)
{
    if (m_failed || !m_context)
        return false;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
        // CryptHashData takes a DWORD count.
        DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (!::CryptHashData(Context(m_context)->hash, bytes, piece, 0)) {
            m_failed = true;
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool CMd5::Final(BYTE (&digest)[ciDigestSize])
{
    if (m_failed || !m_context)
        return false;
    BYTE value[ciDigestSize];
    DWORD length = sizeof value;
    bool ok = ::CryptGetHashParam(Context(m_context)->hash, HP_HASHVAL, value, &length, 0) && length == sizeof value;
    delete Context(m_context);
    m_context = nullptr;
    m_failed = true; // finished: later calls fail
    if (!ok)
        return false;
    for (int i = 0; i < ciDigestSize; ++i)
        digest[i] = value[i];
    return true;
}

} // namespace platform

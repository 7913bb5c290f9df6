#include "platform/Md5.h"

#include <openssl/evp.h>

#include <cstring>
#include <utility>

namespace platform {

CMd5::CMd5()
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (!ctx || EVP_DigestInit_ex(ctx, EVP_md5(), nullptr) != 1) {
        EVP_MD_CTX_free(ctx);
        m_failed = true;
        return;
    }
    m_context = ctx;
}

CMd5::~CMd5()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_context));
}

CMd5::CMd5(CMd5&& other) noexcept
    : m_context(std::exchange(other.m_context, nullptr)), m_failed(std::exchange(other.m_failed, true))
{
}

CMd5& CMd5::operator=(CMd5&& other) noexcept
{
    if (this != &other) {
        EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_context));
        m_context = std::exchange(other.m_context, nullptr);
        m_failed = std::exchange(other.m_failed, true);
    }
    return *this;
}

bool CMd5::Update(const void* data, size_t size)
{
    if (m_failed || !m_context)
        return false;
    if (size == 0)
        return true;
    if (EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_context), data, size) != 1)
        m_failed = true;
    return !m_failed;
}

bool CMd5::Final(BYTE (&digest)[ciDigestSize])
{
    if (m_failed || !m_context)
        return false;
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    bool ok = EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_context), out, &length) == 1 && length == ciDigestSize;
    // A context can be finished once; further use counts as a failure.
    m_failed = true;
    if (!ok)
        return false;
    std::memcpy(digest, out, ciDigestSize);
    return true;
}

} // namespace platform

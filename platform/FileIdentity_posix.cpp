#include "platform/FileIdentity.h"

#include <sys/stat.h>

namespace platform {

namespace {

LONGLONG HundredsOfNanoseconds(const timespec& time)
{
    return static_cast<LONGLONG>(time.tv_sec) * 10000000 + static_cast<LONGLONG>(time.tv_nsec / 100);
}

} // namespace

bool QueryFileIdentity(const CString& path, SFileIdentity& identity)
{
    identity = SFileIdentity();
    std::string name = path.ToUtf8();
    struct stat st{};
    if (name.empty() || stat(name.c_str(), &st) != 0)
        return false;
    identity.volume = static_cast<ULONGLONG>(st.st_dev);
    identity.fileId = static_cast<ULONGLONG>(st.st_ino);
    identity.size = static_cast<ULONGLONG>(st.st_size);
    identity.modified = HundredsOfNanoseconds(st.st_mtim);
    identity.changed = HundredsOfNanoseconds(st.st_ctim);
    identity.regularFile = S_ISREG(st.st_mode);
    return true;
}

} // namespace platform

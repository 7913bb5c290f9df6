#include "platform/Path.h"

namespace platform {

char16_t PathSeparator()
{
    return u'/';
}

bool IsPathSeparator(char16_t ch)
{
    return ch == u'/';
}

int ReverseFindSeparator(const CString& path)
{
    return path.ReverseFind(u'/');
}

bool IsRootPath(const CString& path)
{
    return path == CString(u"/");
}

bool IsAbsolutePath(const CString& path)
{
    return !path.IsEmpty() && path[0] == u'/';
}

} // namespace platform

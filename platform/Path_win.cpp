#include "platform/Path.h"

namespace platform {

namespace {

bool IsDriveLetter(char16_t ch)
{
    return (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z');
}

// Length of the root of `path` ("C:\" 3, "\\server\share\" up to the
// separator after the share), 0 when it has none.
int RootLength(const CString& path)
{
    int n = path.GetLength();
    if (n >= 3 && IsDriveLetter(path[0]) && path[1] == u':' && IsPathSeparator(path[2]))
        return 3;
    if (n >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        int separators = 0;
        for (int i = 2; i < n; ++i)
            if (IsPathSeparator(path[i]) && ++separators == 2)
                return i + 1;
        return 0;
    }
    return 0;
}

} // namespace

char16_t PathSeparator()
{
    return u'\\';
}

bool IsPathSeparator(char16_t ch)
{
    return ch == u'\\' || ch == u'/';
}

int ReverseFindSeparator(const CString& path)
{
    for (int i = path.GetLength() - 1; i >= 0; --i)
        if (IsPathSeparator(path[i]))
            return i;
    return -1;
}

bool IsRootPath(const CString& path)
{
    int root = RootLength(path);
    return root > 0 && root == path.GetLength();
}

bool IsAbsolutePath(const CString& path)
{
    return RootLength(path) > 0 || (path.GetLength() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]));
}

} // namespace platform

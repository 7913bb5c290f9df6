#include "UuidUtils.h"

CString CUuidUtils::ToString(const GUID& guid)
{
    return platform::GuidToString(guid);
}

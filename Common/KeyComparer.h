// Orders keys by user id, ignoring case; key ids do not break ties.
#pragma once

#include "Key.h"

class CKeyComparer : public IArrayExComparer<CKey> {
public:
    int Compare(const CKey& a, const CKey& b) override { return a.GetUserID().CompareNoCase(b.GetUserID()); }
};

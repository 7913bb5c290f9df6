// Private to the file-system realisations: the Windows wildcard rules.
#pragma once

#include "platform/CString.h"

namespace platform {

// Whether `name` matches `pattern` by the Windows wildcard rules ('*' any
// run, '?' one unit, case ignored; "x.*" also matches "x", so "*.*" matches
// every name; a trailing '.' matches names without an extension). A pattern
// without wildcards names exactly one entry: compared ignoring case when
// `exactNamesIgnoreCase`, else as written (where names that differ in case
// are different files). An empty pattern matches nothing.
bool MatchWildcardRules(const CString& pattern, const CString& name, bool exactNamesIgnoreCase);

} // namespace platform

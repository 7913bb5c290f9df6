// Private to the test support: what the system-specific part gives the
// shared one.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A tag that tells this test process's folders from another's.
std::string ProcessTag();

// Makes the isolated tree of this process and points the variables (and, on
// Windows, the user's registry hive) at it; returns its root. Throws when
// the tree cannot be had.
std::filesystem::path CreateIsolatedTree();
// Undoes CreateIsolatedTree: stops what runs in the tree, removes it.
void RemoveIsolatedTree(const std::filesystem::path& root);

} // namespace testsupport

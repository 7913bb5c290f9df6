// Encrypted files for a key that the test key ring does not hold: a second,
// temporary key ring knows Alice and a key of its own ("Stranger"), and
// encrypts for both; the test key ring then misses the stranger's public key.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// Writes `content` encrypted for Alice and the stranger to `encrypted`,
// recording `name` as the file name. Returns whether gpg succeeded.
bool EncryptForAliceAndStranger(const std::filesystem::path& encrypted, const std::string& name,
                                const std::string& content);

} // namespace testsupport

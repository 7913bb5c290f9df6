#include <gtest/gtest.h>

#include "TestEnvironment.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::InstallIsolation();
    return RUN_ALL_TESTS();
}

// Memory that libraries outside the project keep for the life of the
// process, which LeakSanitizer (in the sanitizer build) must not count:
// fontconfig's configuration, loaded once by Qt's font database.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

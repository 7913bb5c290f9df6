# The suites built for Windows (included by tests/CMakeLists.txt when the
# target is Windows). GoogleTest is built from Debian's sources for the
# target; ctest runs every test through the cross-compiling emulator (Wine).
set(VEILCASE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VEILCASE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Without debug information, as Debian's build of it for Linux: stack
# traces through its frames show the address form.
target_compile_options(gtest PRIVATE -g0)
include(GoogleTest)

add_library(testsupport STATIC support/TestEnvironment.cpp support/TestEnvironment_win.cpp support/TestMain.cpp)
target_include_directories(testsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(testsupport PUBLIC veilshim64 gtest gmock)

# Helper programs the suites start as child processes.
set(WINDOWS_TEST_TOOLS childproc logwriter)
foreach(name ${WINDOWS_TEST_TOOLS})
  add_executable(${name} tools/${name}.cpp)
  # The C runtime splits the wide command line into wmain's arguments.
  target_link_options(${name} PRIVATE -municode)
endforeach()
# logwriter logs through the library's WriteLog (several processes, one log).
target_link_libraries(logwriter PRIVATE veilshim64)

# Suites that pin behaviour Windows defines run against both realisations.
# The others stay on Linux: they need the real gpg, POSIX facts (modes,
# owners, signals, /proc) or the Linux stand-ins of later facilities (COM,
# dialogs, windows).
set(WINDOWS_SUITES
  # text, command lines, message inserts
  CStringTest
  CommandLineTest
  MessageInsertsTest
  # settings: private-profile files, registry
  PrivateProfileTest
  RegistryTest
  # keys and GnuPG's output
  KeyTest
  GnuPGParsingTest
  GnuPGStatusTest
  # time and identifiers
  TimeUuidTest
  # files, folders, paths
  WildcardListingTest
  DirectoryTest
  FileSystemTest
  # the resource module
  ResourcesTest

  # processes, pipes, hashes
  ProcessTest
  FileUtilsTest
  FileIdentityTest

  # log, console, stack traces
  LogTest
  CallStackTest
  OrvExceptionTest

)
foreach(name ${WINDOWS_SUITES})
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE testsupport)
  add_dependencies(${name} ${WINDOWS_TEST_TOOLS})
  # Listing the tests needs the emulator too: done when ctest runs, so
  # that building needs no Wine.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)
endforeach()

# What the background program needs from the core library: its sources,
# compiled for Windows, are linked against veilshim64.dll's import library,
# and everything the link cannot find must belong to a layer that follows in
# a later step (its dialogs and window), never to the core.
add_library(backgroundprogramprobe OBJECT
  ${CMAKE_SOURCE_DIR}/app/VeilcaseApp.cpp ${CMAKE_SOURCE_DIR}/app/VeilcaseDlg.cpp
  ${CMAKE_SOURCE_DIR}/app/FileDecryptDlg.cpp ${CMAKE_SOURCE_DIR}/app/TaskDetailsDialog.cpp
  ${CMAKE_SOURCE_DIR}/app/AboutDialog.cpp ${CMAKE_SOURCE_DIR}/app/VeilcaseMain.cpp)
target_include_directories(backgroundprogramprobe PRIVATE $<TARGET_PROPERTY:veilshim64,INTERFACE_INCLUDE_DIRECTORIES>)
add_test(NAME ShimExports.TheBackgroundProgramFindsTheCoreInTheLibrary
  COMMAND ${CMAKE_COMMAND} -DCXX=${CMAKE_CXX_COMPILER} "-DOBJECTS=$<TARGET_OBJECTS:backgroundprogramprobe>"
          -DLIBRARY=$<TARGET_LINKER_FILE:veilshim64> -DWORK=${CMAKE_CURRENT_BINARY_DIR}/shimexports
          -P ${CMAKE_CURRENT_SOURCE_DIR}/CheckShimExports.cmake)

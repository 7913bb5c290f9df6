# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the -posix
# compilers, whose C++ runtime has std::thread and std::mutex). The programs
# are linked statically against the compiler's runtime, so they run without
# extra DLLs; ctest runs them under Wine (see .ci/run-wine).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VEILCASE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

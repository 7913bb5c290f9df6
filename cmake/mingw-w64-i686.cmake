# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (see the x86_64
# toolchain file). The 32-bit build is compiled, not run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VEILCASE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

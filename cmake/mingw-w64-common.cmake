# Shared part of the mingw-w64 toolchain files; VEILCASE_MINGW_TRIPLE names
# the target.
set(CMAKE_C_COMPILER ${VEILCASE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEILCASE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEILCASE_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VEILCASE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime of the compiler goes into every program and DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest starts the programs through Wine.
if(VEILCASE_MINGW_TRIPLE MATCHES "^x86_64")
  find_program(VEILCASE_WINE NAMES wine64 wine)
else()
  find_program(VEILCASE_WINE NAMES wine)
endif()
if(VEILCASE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEILCASE_WINE})
endif()

# Debug information in DWARF 4: the newest form the symbol library that
# reads it (Wine's dbghelp) understands, so that stack traces name the
# functions with file and line.
set(CMAKE_C_FLAGS_DEBUG_INIT "-gdwarf-4")
set(CMAKE_CXX_FLAGS_DEBUG_INIT "-gdwarf-4")
set(CMAKE_C_FLAGS_RELWITHDEBINFO_INIT "-O2 -gdwarf-4 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELWITHDEBINFO_INIT "-O2 -gdwarf-4 -DNDEBUG")

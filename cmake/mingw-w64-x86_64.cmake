# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix
# threading flavour, which gives std::thread and std::mutex).
#
#   cmake --workflow --preset mingw      (into build/mingw/)
#
# The executables link libgcc, libstdc++ and winpthread statically, so they
# run on a bare Windows (or under Wine) without extra DLLs beside them. When
# Wine is installed, ctest runs the test executables through it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})

# Programs come from the build machine; headers, libraries and packages
# only from the target's root, so that no Linux library is picked up.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Debian installs the 64-bit loader here; /usr/bin/wine is a wrapper that
# also looks for a 32-bit Wine, which the tests do not need.
find_program(CARDPUSH_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(CARDPUSH_WINE NAMES wine64 wine)
if(CARDPUSH_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CARDPUSH_WINE})
endif()

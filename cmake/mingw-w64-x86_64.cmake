# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 toolchain
# (packages g++-mingw-w64-x86-64-posix and its gcc). The "posix" compilers use winpthreads, which
# the standard library's threads and mutexes need; the "win32" ones are the fallback.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KVILLO_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${KVILLO_MINGW_PREFIX}-gcc-posix ${KVILLO_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KVILLO_MINGW_PREFIX}-g++-posix ${KVILLO_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KVILLO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KVILLO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime goes into the executable, so it runs without the compiler's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs built here run under Wine when one is installed (ctest and custom commands use this).
find_program(KVILLO_WINE NAMES wine)
if(KVILLO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KVILLO_WINE})
endif()

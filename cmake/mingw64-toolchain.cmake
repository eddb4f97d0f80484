# Cross build of the same DLL and tests for 64-bit Windows. It needs no 32-bit support on the
# build machine, so its tests run under wine64 everywhere, and it catches code that assumes
# 4-byte pointers or `long`.
set(TIERLOCK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)

# ctest runs every Windows test executable through Wine's 64-bit loader.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

# Cross build of the shipped 32-bit DLL and its tests with Debian's MinGW-w64.
set(TIERLOCK_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)

# ctest runs every Windows test executable through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

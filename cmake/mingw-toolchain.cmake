# Shared part of the MinGW-w64 cross builds; the including file sets TIERLOCK_MINGW_TRIPLE,
# CMAKE_SYSTEM_PROCESSOR and the emulator ctest runs the test executables with.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: the win32 thread model has no std::mutex.
set(CMAKE_C_COMPILER ${TIERLOCK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIERLOCK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TIERLOCK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TIERLOCK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Named here because CMake derives no tool prefix from the -posix compiler names; the release's
# debug split needs the cross objcopy.
set(CMAKE_OBJCOPY ${TIERLOCK_MINGW_TRIPLE}-objcopy)
set(CMAKE_STRIP ${TIERLOCK_MINGW_TRIPLE}-strip)

# Header-only libraries come from Debian's /usr/include. The cross compiler must not see
# /usr/include as a whole (it breaks MinGW's C headers), so each library's folder is exposed
# through a link in an include folder of its own.
set(TIERLOCK_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${TIERLOCK_THIRD_PARTY_INCLUDE})

function(tierlock_expose_header_dir name probe)
  find_path(_dir_${name} ${name}/${probe} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT _dir_${name})
    message(FATAL_ERROR "${name}/${probe} not found in /usr/include: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK ${_dir_${name}}/${name} ${TIERLOCK_THIRD_PARTY_INCLUDE}/${name} SYMBOLIC)
endfunction()

tierlock_expose_header_dir(rapidjson document.h)
tierlock_expose_header_dir(utf8cpp utf8.h)

add_library(tierlock_third_party INTERFACE)
target_include_directories(tierlock_third_party SYSTEM INTERFACE ${TIERLOCK_THIRD_PARTY_INCLUDE})

# GoogleTest is built from Debian's sources so that the cross build and the sanitizer builds
# get a matching copy.
if(TIERLOCK_BUILD_TESTS AND NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

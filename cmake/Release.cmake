# What a shipped binary carries besides its code: the release version where the host's
# installer and the tool look for it, and its debug information in a file of its own.

# tierlock_version_resource(TARGET DESCRIPTION text ORIGINAL_FILENAME name): a Windows version
# resource (file and product version, description, original file name) in TARGET.
function(tierlock_version_resource target)
  cmake_parse_arguments(ARG "" "DESCRIPTION;ORIGINAL_FILENAME" "" ${ARGN})
  if(NOT MINGW)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(VERSION_FILE_TYPE 2) # VFT_DLL
  else()
    set(VERSION_FILE_TYPE 1) # VFT_APP
  endif()
  set(VERSION_DESCRIPTION ${ARG_DESCRIPTION})
  set(VERSION_ORIGINAL_FILENAME ${ARG_ORIGINAL_FILENAME})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# tierlock_version_note(TARGET): the release version in an ELF note of the native library
# ("tierlock", type 1, the version text), so that the tool reads it from the file without
# loading the library and without an export of its own.
function(tierlock_version_note target)
  if(MINGW OR APPLE)
    return()
  endif()
  set(note ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_note.c)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_note.c.in ${note} @ONLY)
  target_sources(${target} PRIVATE ${note})
endfunction()

# tierlock_split_debug(TARGET): after each link of a Windows build, moves TARGET's debug
# information into TARGET_FILE.debug and leaves the binary stripped with a debug link to it, so
# the tests run on the bytes that ship and a debugger still finds the symbols.
function(tierlock_split_debug target)
  if(NOT MINGW)
    return()
  endif()
  set(file $<TARGET_FILE:${target}>)
  set(debug $<TARGET_FILE_NAME:${target}>.debug)
  # objcopy stamps the PE header it writes with the time unless SOURCE_DATE_EPOCH says otherwise;
  # 0 is what the linker wrote (--no-insert-timestamp).
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
  # Run beside the binary: the debug link keeps the debug file's name without a folder.
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${objcopy} --only-keep-debug ${file} ${debug}
                     COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${debug} ${file}
                     WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
                     VERBATIM)
endfunction()

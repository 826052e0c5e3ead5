# The release configuration (CMAKE_BUILD_TYPE Release, the "release" preset): optimised as the
# everyday build, with the symbols in a file of their own, and the same bytes wherever and
# whenever it is built.

# In every build: no link time in the PE header, so the same sources link to the same file.
add_link_options(LINKER:--no-insert-timestamp)

if(NOT CMAKE_BUILD_TYPE STREQUAL "Release")
  function(halvo_split_debug target)
  endfunction()
  return()
endif()

# -O2 as the everyday build (CMake's own Release default is -O3); -g for the debug file.
foreach(lang C CXX)
  set(CMAKE_${lang}_FLAGS_RELEASE "-O2 -g -DNDEBUG")
  # No build path in the output: neither in __FILE__ (-fmacro-prefix-map) nor in the debug
  # information (-fdebug-prefix-map); -ffile-prefix-map sets both. The later map wins, so the
  # build tree, which lies inside the sources, keeps a name of its own.
  string(APPEND CMAKE_${lang}_FLAGS_RELEASE
         " -ffile-prefix-map=${PROJECT_SOURCE_DIR}=halvo"
         " -ffile-prefix-map=${CMAKE_BINARY_DIR}=halvo-build")
endforeach()

foreach(tool OBJCOPY STRIP)
  if(NOT CMAKE_${tool})
    message(FATAL_ERROR "the release build needs the MinGW-w64 ${tool}; run scripts/bootstrap")
  endif()
endforeach()

# Moves a program's symbols into <program>.debug beside it and strips the program; the link left
# in the program (file name and checksum) lets a debugger find the symbols again. For programs
# built in the folder that calls it.
# objcopy and strip write a fresh time stamp into every PE header they rewrite, unless
# SOURCE_DATE_EPOCH names one: 0 is the "none" that the linker's --no-insert-timestamp leaves.
function(halvo_split_debug target)
  set(exe $<TARGET_FILE_NAME:${target}>)
  set(no_time_stamp ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${no_time_stamp} ${CMAKE_OBJCOPY} --only-keep-debug ${exe} ${exe}.debug
    COMMAND ${no_time_stamp} ${CMAKE_STRIP} --strip-all ${exe}
    COMMAND ${no_time_stamp} ${CMAKE_OBJCOPY} --add-gnu-debuglink=${exe}.debug ${exe}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    BYPRODUCTS ${CMAKE_CURRENT_BINARY_DIR}/${target}.exe.debug
    COMMENT "Splitting the symbols of ${exe} into ${exe}.debug"
    VERBATIM)
endfunction()

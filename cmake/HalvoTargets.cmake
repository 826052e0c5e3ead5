# Small helpers shared by the folders' CMakeLists.

# Warnings and definitions for our own code (not for third-party sources).
function(halvo_code target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  target_compile_definitions(${target} PUBLIC UNICODE _UNICODE _WIN32_WINNT=0x0600 WINVER=0x0600
                                              NOMINMAX)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# A GoogleTest executable run by ctest through Wine. DISPLAY marks tests that open windows:
# they run inside xvfb-run when no display is set. Every test program may load the extension
# library stand-ins, so they are built first.
function(halvo_test name)
  cmake_parse_arguments(T "DISPLAY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  halvo_code(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} halvo_test_support)
  add_dependencies(${name} sim_extension)
  set(runner ${PROJECT_SOURCE_DIR}/scripts/lib/wine-exec)
  if(T_DISPLAY)
    add_test(NAME ${name} COMMAND ${runner} --display $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${runner} $<TARGET_FILE:${name}>)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 300
                       ENVIRONMENT "HALVO_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()

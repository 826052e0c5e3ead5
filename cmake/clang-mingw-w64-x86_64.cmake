# The second compiler: Debian's clang cross-building for 64-bit Windows against the very headers,
# C++ library and import libraries the MinGW-w64 gcc toolchain uses, linked by lld.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})

# clang 14 does not recognise gcc's "12-posix" folder name, so it is told where libstdc++ lives:
# the folder of the posix gcc's own runtime library.
execute_process(COMMAND ${TOOLCHAIN_PREFIX}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE halvo_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(halvo_gcc_dir ${halvo_libgcc} DIRECTORY)
set(halvo_cxx_include ${halvo_gcc_dir}/include/c++)

# Given as include directories rather than flags, so that they reach the compiler and not the link,
# where the driver would warn of an unused argument.
# gcc's C++ library for MinGW-w64 keeps its thread-local variables (std::call_once's among them)
# in emulated TLS; clang must reach them the same way.
set(CMAKE_C_FLAGS_INIT "--sysroot=${CMAKE_FIND_ROOT_PATH} -femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "--sysroot=${CMAKE_FIND_ROOT_PATH} -femulated-tls")
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${halvo_cxx_include}
    ${halvo_cxx_include}/${TOOLCHAIN_PREFIX} ${halvo_cxx_include}/backward)

# lld, and -pthread, with which clang's driver puts -lpthread after the C++ library that needs it
# (CMake's Windows platform files replace any standard libraries a toolchain file sets). This
# build is the warning check: a linker warning fails it as a compiler warning does.
set(halvo_link "-static -pthread -fuse-ld=lld -Wl,--fatal-warnings -L${halvo_gcc_dir}")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${halvo_link})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${halvo_link})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${halvo_link})

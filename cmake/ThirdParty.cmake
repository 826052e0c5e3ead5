# Header-only libraries from Debian for the stand-ins and the bench (never for the product).
# Only their own folder goes on the cross compiler's include path, not all of /usr/include.
set(HALVO_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third-party/include)
file(MAKE_DIRECTORY ${HALVO_THIRD_PARTY_INCLUDE})
if(NOT EXISTS /usr/include/nlohmann/json.hpp)
  message(FATAL_ERROR "nlohmann/json.hpp not found; run scripts/bootstrap")
endif()
file(CREATE_LINK /usr/include/nlohmann ${HALVO_THIRD_PARTY_INCLUDE}/nlohmann SYMBOLIC)
add_library(halvo_json INTERFACE)
target_include_directories(halvo_json SYSTEM INTERFACE ${HALVO_THIRD_PARTY_INCLUDE})

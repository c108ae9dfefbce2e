# nlohmann-json (JSON output) is header-only, so Debian's package serves the
# Windows cross-build as well. There its headers are copied into the build
# tree first: putting /usr/include itself on the MinGW include path would
# bring in the Linux C library's headers.
if(CMAKE_CROSSCOMPILING)
  set(_debian_headers ${CMAKE_BINARY_DIR}/debian-headers)
  if(NOT EXISTS /usr/include/nlohmann)
    message(FATAL_ERROR "No /usr/include/nlohmann: apt-get install nlohmann-json3-dev")
  endif()
  file(COPY /usr/include/nlohmann DESTINATION ${_debian_headers})
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_debian_headers})
else()
  find_package(nlohmann_json 3 REQUIRED CONFIG)
endif()

# CLI11 (command line) and nlohmann-json (JSON output) are header-only, so
# Debian's packages serve the Windows cross-build as well. There their
# headers are copied into the build tree first: putting /usr/include itself
# on the MinGW include path would bring in the Linux C library's headers.
if(CMAKE_CROSSCOMPILING)
  set(_debian_headers ${CMAKE_BINARY_DIR}/debian-headers)
  foreach(_folder CLI nlohmann)
    if(NOT EXISTS /usr/include/${_folder})
      message(FATAL_ERROR "No /usr/include/${_folder}: apt-get install libcli11-dev nlohmann-json3-dev")
    endif()
    file(COPY /usr/include/${_folder} DESTINATION ${_debian_headers})
  endforeach()
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_debian_headers})
else()
  find_package(CLI11 REQUIRED CONFIG)
  find_package(nlohmann_json 3 REQUIRED CONFIG)
endif()

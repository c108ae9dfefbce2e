# The programs that go into packages are built with the compiler and linker
# flags Debian builds its own packages with, every hardening feature on
# (dpkg-buildflags with DEB_BUILD_MAINT_OPTIONS=hardening=+all): the stack
# protector, _FORTIFY_SOURCE, read-only relocations bound at start-up
# (-z relro -z now; Debian 12's default leaves out -z now) and file paths
# relative to the source folder. The build type keeps its choice of
# optimisation and debug information; Debug and sanitizer builds, and
# machines without dpkg-buildflags, get none of it.
if(WIN32 OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  return()
endif()
find_program(DPKG_BUILDFLAGS_PROGRAM dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS_PROGRAM)
  return()
endif()

foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${DPKG_BUILDFLAGS_PROGRAM} --get ${kind}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-(O.*|g)$")
  if(kind STREQUAL "LDFLAGS")
    add_link_options(${flags})
  else()
    add_compile_options(${flags})
  endif()
endforeach()

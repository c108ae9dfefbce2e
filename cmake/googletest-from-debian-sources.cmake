# GoogleTest for a cross-build: Debian's libgtest-dev holds Linux libraries
# only, so the Windows build compiles GoogleTest from the sources Debian
# ships in /usr/src/googletest (without gmock, which no Windows test uses).
# Afterwards find_package(GTest) finds these targets, GTest::gtest and
# GTest::gtest_main, as it finds an installed GoogleTest.
set(BRISAKETT_GOOGLETEST_SOURCE_DIR /usr/src/googletest/googletest CACHE PATH
    "GoogleTest's sources (the googletest folder) for cross-builds")
if(NOT EXISTS ${BRISAKETT_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${BRISAKETT_GOOGLETEST_SOURCE_DIR} "
                      "(apt-get install googletest)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${BRISAKETT_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest
                 EXCLUDE_FROM_ALL SYSTEM)
# GoogleTest names its targets GTest::... itself from version 1.11 on.
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# find_package looks in this folder before anywhere else, in module mode too.
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
     "# GTest::gtest and GTest::gtest_main are built from source in this build.\n")

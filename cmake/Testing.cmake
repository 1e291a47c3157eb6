# GoogleTest comes from Debian's packages: the installed libraries for native
# builds, the sources in /usr/src/googletest for cross builds (nothing ships it
# prebuilt for mingw).
if(CMAKE_CROSSCOMPILING)
  set(QMR_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory("${QMR_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL
                   SYSTEM)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
  add_library(GTest::gmock ALIAS gmock)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# qmr_add_test(NAME SOURCES... LIBRARIES...): one GoogleTest program, its
# cases registered with CTest (run through the cross-compiling emulator when
# there is one).
function(qmr_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest_main qmr_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${QMR_TEST_OUTPUT_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
endfunction()

# GoogleTest comes from Debian's packages: the installed libraries for native
# builds, the sources in /usr/src/googletest for cross builds (nothing ships it
# prebuilt for mingw).
if(CMAKE_CROSSCOMPILING)
  set(QMR_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory("${QMR_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL
                   SYSTEM)
  # Newer GoogleTest sources name their targets GTest::* themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

if(WIN32)
  # GoogleTest copies every failure and skip report to OutputDebugStringA, which
  # Wine under the 32-bit emulator cannot deliver: the test program would die at
  # its first report. This object fills that import with a function that drops
  # the copy; the reports still go to standard output.
  add_library(qmr_test_debug_output OBJECT "${PROJECT_SOURCE_DIR}/tests/windows/no_debug_output.cpp")
endif()

# qmr_add_test(NAME SOURCES... LIBRARIES...): one GoogleTest program, its
# cases registered with CTest. A cross build registers each program as one test
# run through the cross-compiling emulator, since every start of an emulated
# program costs about a second.
function(qmr_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest_main qmr_warnings)
  if(WIN32)
    target_link_libraries(${name} PRIVATE qmr_test_debug_output)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${QMR_TEST_OUTPUT_DIR}")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
  endif()
endfunction()

include(GoogleTest)

# Where the tests find the checkout and the programs they run. These paths differ between
# checkouts, so they live in one generated header that only the files using them include:
# passed as definitions to every test, they made each test file miss the shared compiler cache
# in any other checkout.
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/tests/TestPaths.h CONTENT "#pragma once
#define MIRVO_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\"
#define MIRVO_TEST_DATA_DIR \"${PROJECT_SOURCE_DIR}/tests/data\"
#define MIRVO_RESOURCES_DIR \"${PROJECT_SOURCE_DIR}/resources\"
#define MIRVO_SAMPLE_PATH \"$<$<TARGET_EXISTS:mirvo_sample>:$<TARGET_FILE:mirvo_sample>>\"
")

# Every test file parses GoogleTest, GoogleMock and much of the standard library before a line of
# its own: a third of its compile time. They are precompiled once per build tree and shared by
# all test executables. GCC uses a shared header only where the flags that shape it match, so
# every test compiles with -pthread as the audio tests already do; clang refuses a header built
# with other definitions outright, so its trees parse the headers as before.
if(MIRVO_PCH AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  file(WRITE ${CMAKE_BINARY_DIR}/tests/TestPch.cpp "// The shared precompiled header's own compilation.\n")
  add_library(mirvo_test_pch OBJECT ${CMAKE_BINARY_DIR}/tests/TestPch.cpp)
  target_link_libraries(mirvo_test_pch PRIVATE GTest::gtest GTest::gmock)
  set(MIRVO_PCH_QUIET -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread -Wno-restrict)
  target_compile_options(mirvo_test_pch PRIVATE -pthread ${MIRVO_PCH_QUIET})
  mirvo_set_warnings(mirvo_test_pch)
  target_precompile_headers(mirvo_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h> <algorithm> <array>
    <atomic> <chrono> <cmath> <cstdint> <cstdlib> <filesystem> <fstream> <functional> <map> <memory>
    <mutex> <optional> <sstream> <string> <thread> <vector>)
endif()

# mirvo_add_test(<name> LABEL <unit|gl|device|e2e|stress> SOURCES ... LIBS ... [TIMEOUT s])
# One executable per folder and label keeps link time down on small machines.
# Tests are listed when ctest runs, so building never needs a display or a sound server.
function(mirvo_add_test name)
  cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_property(GLOBAL APPEND PROPERTY MIRVO_TEST_TARGETS_${ARG_LABEL} ${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  mirvo_set_warnings(${name})
  if(TARGET mirvo_test_pch)
    # GCC 12 takes std::string's inlined copies for overflows once its header comes
    # precompiled (a literal added to a string is enough): these warnings say nothing of the tests.
    target_compile_options(${name} PRIVATE -pthread ${MIRVO_PCH_QUIET})
    target_precompile_headers(${name} REUSE_FROM mirvo_test_pch)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT}
    TEST_PREFIX "${ARG_LABEL}:")
endfunction()

# mirvo_add_test_folder(<prefix> LIBS ... [FOLDERS sub...]): the tests of one folder, and of the
# sub-folders named (a platform's tests, when the build has that platform), split by file name:
#   *GlTest.cpp -> label gl, *DeviceTest.cpp -> device, *StressTest.cpp -> stress,
#   every other *Test.cpp -> unit. Each label builds one executable, <prefix>_<label>_tests.
function(mirvo_add_test_folder prefix)
  cmake_parse_arguments(ARG "" "" "LIBS;HELPERS;FOLDERS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  foreach(folder ${ARG_FOLDERS})
    file(GLOB in_folder CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*Test.cpp)
    list(APPEND all ${in_folder})
  endforeach()
  foreach(label gl device stress)
    string(SUBSTRING ${label} 0 1 first)
    string(TOUPPER ${first} first)
    string(SUBSTRING ${label} 1 -1 rest)
    set(suffix "${first}${rest}Test.cpp")
    set(files ${all})
    list(FILTER files INCLUDE REGEX ".*${suffix}$")
    list(FILTER all EXCLUDE REGEX ".*${suffix}$")
    if(files)
      mirvo_add_test(${prefix}_${label}_tests LABEL ${label} SOURCES ${files} ${ARG_HELPERS} LIBS ${ARG_LIBS})
    endif()
  endforeach()
  if(all)
    mirvo_add_test(${prefix}_unit_tests LABEL unit SOURCES ${all} ${ARG_HELPERS} LIBS ${ARG_LIBS})
  endif()
endfunction()

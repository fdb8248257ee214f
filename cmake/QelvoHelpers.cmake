# qelvo_library(NAME DEPS...): one static library per folder, sources globbed so that a
# new file needs no edit here.
function(qelvo_library name)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# qelvo_test_suite(NAME DEPS...): every *_test.cpp in the folder becomes one GoogleTest
# executable registered with CTest. Parameterised cases are named by their suites' name
# generators; CTest names carry no printed parameter values (NO_PRETTY_VALUES), which
# for a struct without a printer are its raw bytes.
find_package(GTest)
include(GoogleTest)
function(qelvo_test_suite name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QELVO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QELVO_BINARY_DIR="${CMAKE_BINARY_DIR}"
    QELVO_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES TIMEOUT 300)
endfunction()

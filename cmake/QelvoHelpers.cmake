# The operating system's subfolder (posix/ or win32/) of a folder that has one; the other
# system's subfolder is never compiled.
if(WIN32)
  set(QELVO_OS_DIR win32)
  set(QELVO_OTHER_OS_DIR posix)
else()
  set(QELVO_OS_DIR posix)
  set(QELVO_OTHER_OS_DIR win32)
endif()

# qelvo_library(NAME DEPS...): one static library per folder, sources globbed so that a
# new file needs no edit here.
function(qelvo_library name)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/${QELVO_OTHER_OS_DIR}/")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# qelvo_test_suite(NAME DEPS...): the folder's sources (and those of its posix/ or win32/
# subfolder) become one GoogleTest executable registered with CTest. Parameterised cases
# are named by their suites' name generators; CTest names carry no printed parameter
# values (NO_PRETTY_VALUES), which for a struct without a printer are its raw bytes.
if(NOT TARGET GTest::gtest)
  find_package(GTest)
endif()
include(GoogleTest)
function(qelvo_test_suite name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${QELVO_OS_DIR}/*.cpp)
  if(NOT QELVO_WITH_TLS)
    # The TLS suites (tls_*, *_tls_*, ftps_*) need a TLS layer and its peers.
    list(FILTER srcs EXCLUDE REGEX "/(tls_|ftps_)[^/]*$|_tls_[^/]*$")
  elseif(NOT QELVO_WITH_OPENSSL)
    # These drive OpenSSL directly (an OpenSSL server on our own socket).
    list(FILTER srcs EXCLUDE REGEX "/tls_reads_test\\.cpp$")
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    # GoogleTest's header is the heaviest part of each test source.
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h>)
  endif()
  target_compile_definitions(${name} PRIVATE
    QELVO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QELVO_BINARY_DIR="${CMAKE_BINARY_DIR}"
    QELVO_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
  if(CMAKE_CROSSCOMPILING)
    # One CTest entry per suite: each run under the emulator costs a Wine start-up.
    add_test(NAME ${name} COMMAND ${QELVO_TEST_RUNNER} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# qelvo_program_command(VAR TARGET): how a test's shell command runs the program TARGET.
# A cross-compiled program runs under the test runner (Wine), through a generated script.
function(qelvo_program_command var target)
  if(CMAKE_CROSSCOMPILING)
    set(script ${CMAKE_BINARY_DIR}/run-${target}.sh)
    file(GENERATE OUTPUT ${script} CONTENT "#!/bin/sh\nexec '${QELVO_TEST_RUNNER}' '$<TARGET_FILE:${target}>' \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(${var} ${script} PARENT_SCOPE)
  else()
    set(${var} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()

# The Windows build (cross-compiled with cmake/mingw-w64.cmake): Windows API level, the
# third-party libraries compiled from Debian sources, and how test programs run.
add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601)

include(QelvoSources)

# One file per library, defining the targets the Linux build finds installed. A line
# "# debian-source: PACKAGE" in a file names the source package it compiles.
file(GLOB qelvo_win_deps ${CMAKE_CURRENT_LIST_DIR}/windows-deps/*.cmake)
list(SORT qelvo_win_deps)
foreach(f ${qelvo_win_deps})
  include(${f})
endforeach()

# Our own targets build as unity builds (a fraction of the compiler starts on these 2-core
# machines; sources must not clash in file-local names), at QELVO_WIN_OPTIMIZE unless a
# build type says otherwise: -O1 runs the suites faster under Wine than -O0 and compiles
# faster than -O2; the 32-bit compile check takes -O0.
set(CMAKE_UNITY_BUILD ON)
set(CMAKE_UNITY_BUILD_BATCH_SIZE 16)
set(QELVO_WIN_OPTIMIZE -O1 CACHE STRING "Optimization of a Windows tree without a build type")
if(NOT CMAKE_BUILD_TYPE)
  add_compile_options(${QELVO_WIN_OPTIMIZE})
endif()

# Test programs run under Wine with the project's prefix and the Linux peers' ports.
set(QELVO_TEST_RUNNER ${CMAKE_SOURCE_DIR}/scripts/wine-run)

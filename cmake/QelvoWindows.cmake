# The Windows build (cross-compiled with cmake/mingw-w64.cmake): Windows API level, the
# third-party libraries compiled from Debian sources, and how test programs run.
add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601)

# Debian source packages unpacked by scripts/fetch-debian-sources (scripts/build-windows
# runs it for every package the files in cmake/windows-deps/ name).
set(QELVO_WIN_SOURCES_DIR "${CMAKE_SOURCE_DIR}/build/sources" CACHE PATH
  "Folder of the Debian source packages the Windows build compiles")

# qelvo_debian_source(VAR PACKAGE PROBE): VAR = the unpacked source package, which must hold
# the file PROBE.
function(qelvo_debian_source var package probe)
  set(dir ${QELVO_WIN_SOURCES_DIR}/${package})
  if(NOT EXISTS ${dir}/${probe})
    message(FATAL_ERROR "Debian source package ${package} is missing (no ${dir}/${probe}); "
      "run scripts/fetch-debian-sources ${QELVO_WIN_SOURCES_DIR} ${package}")
  endif()
  set(${var} ${dir} PARENT_SCOPE)
endfunction()

# One file per library, defining the targets the Linux build finds installed. A line
# "# debian-source: PACKAGE" in a file names the source package it compiles.
file(GLOB qelvo_win_deps ${CMAKE_CURRENT_LIST_DIR}/windows-deps/*.cmake)
list(SORT qelvo_win_deps)
foreach(f ${qelvo_win_deps})
  include(${f})
endforeach()

# Test programs run under Wine with the project's prefix and the Linux peers' ports.
set(QELVO_TEST_RUNNER ${CMAKE_SOURCE_DIR}/scripts/wine-run)

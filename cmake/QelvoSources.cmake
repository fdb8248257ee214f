# QELVO_SOURCES_DIR: the folder of the Debian source packages scripts/fetch-sources
# unpacks (outside the repository), and qelvo_debian_source to find one of them.
include_guard(GLOBAL)

if(DEFINED ENV{QELVO_SOURCES_DIR})
  set(qelvo_default_sources "$ENV{QELVO_SOURCES_DIR}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(qelvo_default_sources "$ENV{XDG_CACHE_HOME}/qelvo/sources")
else()
  set(qelvo_default_sources "$ENV{HOME}/.cache/qelvo/sources")
endif()
set(QELVO_SOURCES_DIR "${qelvo_default_sources}" CACHE PATH
  "Folder of the Debian source packages fetched by scripts/fetch-sources")

# qelvo_debian_source(VAR PACKAGE PROBE): VAR = the unpacked source package, which must hold
# the file PROBE.
function(qelvo_debian_source var package probe)
  set(dir ${QELVO_SOURCES_DIR}/${package})
  if(NOT EXISTS ${dir}/${probe})
    message(FATAL_ERROR "Debian source package ${package} is missing (no ${dir}/${probe}); "
      "run scripts/fetch-sources ${package}")
  endif()
  set(${var} ${dir} PARENT_SCOPE)
endfunction()

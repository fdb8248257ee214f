# Decoders that come from Debian as sources rather than as linkable libraries. They are
# compiled here into small static libraries and never copied into the repository:
#   qelvo_lzma_sdk  LzmaDec.c of the LZMA SDK, shipped by the lzma-dev package
#   qelvo_ppmd8     PPMd variant I (Ppmd8*.c) of Debian's 7zip source package, fetched by
#                   scripts/fetch-sources into QELVO_SOURCES_DIR
# Their own warnings are silenced (not our code); the sanitizer and fuzzer flags of the
# build still apply to them.
include_guard(GLOBAL)

include(QelvoSources)

# A source file: the cross build takes it from the host's /usr/include too.
find_path(QELVO_LZMA_SDK_DIR LzmaDec.c PATHS /usr/include/lzma NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QELVO_LZMA_SDK_DIR)
  message(FATAL_ERROR "LzmaDec.c of the LZMA SDK was not found in /usr/include/lzma. "
    "Install Debian's lzma-dev package (scripts/install-deps does) or set QELVO_LZMA_SDK_DIR.")
endif()
add_library(qelvo_lzma_sdk STATIC ${QELVO_LZMA_SDK_DIR}/LzmaDec.c)
# The adapter includes the header by its full path, so that no other LzmaDec.h is taken.
target_compile_definitions(qelvo_lzma_sdk INTERFACE QELVO_LZMA_DEC_H="${QELVO_LZMA_SDK_DIR}/LzmaDec.h")
target_compile_options(qelvo_lzma_sdk PRIVATE -w)

set(qelvo_7zip_c "${QELVO_SOURCES_DIR}/7zip/C")
if(NOT EXISTS "${qelvo_7zip_c}/Ppmd8.c" OR NOT EXISTS "${qelvo_7zip_c}/Ppmd8Dec.c")
  message(FATAL_ERROR "The PPMd sources of Debian's 7zip source package are missing "
    "(looked for ${qelvo_7zip_c}/Ppmd8.c). Fetch them with scripts/fetch-sources "
    "(run by scripts/install-deps; it adds a deb-src entry and runs 'apt-get source 7zip'), "
    "or point -DQELVO_SOURCES_DIR=<folder holding 7zip/C> at an unpacked copy.")
endif()
add_library(qelvo_ppmd8 STATIC ${qelvo_7zip_c}/Ppmd8.c ${qelvo_7zip_c}/Ppmd8Dec.c)
target_compile_definitions(qelvo_ppmd8 INTERFACE QELVO_PPMD8_H="${qelvo_7zip_c}/Ppmd8.h")
target_compile_options(qelvo_ppmd8 PRIVATE -w)

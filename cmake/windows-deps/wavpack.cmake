# debian-source: wavpack
# libwavpack for the WavPack method, from Debian's wavpack source package, under the
# target name the Linux build gets from pkg-config. Its header is reached as
# <wavpack/wavpack.h>, as Debian installs it.
qelvo_debian_source(wavpack_dir wavpack include/wavpack.h)
set(wavpack_srcs common_utils decorr_utils entropy_utils extra1 extra2 open_utils open_filename open_legacy open_raw
  pack pack_dns pack_floats pack_utils read_words tags tag_utils unpack unpack_floats unpack_seek unpack_utils
  write_words pack_dsd unpack_dsd)
list(TRANSFORM wavpack_srcs PREPEND ${wavpack_dir}/src/)
list(TRANSFORM wavpack_srcs APPEND .c)
add_library(wavpack STATIC ${wavpack_srcs})
set(wavpack_include ${CMAKE_BINARY_DIR}/third_party/wavpack-include)
configure_file(${wavpack_dir}/include/wavpack.h ${wavpack_include}/wavpack/wavpack.h COPYONLY)
target_include_directories(wavpack SYSTEM PUBLIC ${wavpack_include})
target_include_directories(wavpack PRIVATE ${wavpack_dir}/include)
target_compile_definitions(wavpack PRIVATE ENABLE_DSD HAVE___BUILTIN_CLZ)
target_compile_options(wavpack PRIVATE -w)
add_library(PkgConfig::WAVPACK ALIAS wavpack)

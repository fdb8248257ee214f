# debian-source: zlib
# zlib for the tests' reference compressor, from Debian's zlib source package.
qelvo_debian_source(zlib_dir zlib zlib.h)
set(zlib_srcs adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees
  uncompr zutil)
list(TRANSFORM zlib_srcs PREPEND ${zlib_dir}/)
list(TRANSFORM zlib_srcs APPEND .c)
add_library(z STATIC ${zlib_srcs})
target_include_directories(z SYSTEM PUBLIC ${zlib_dir})
target_compile_options(z PRIVATE -w)
add_library(ZLIB::ZLIB ALIAS z)

#pragma once
// zlib as the reference compressor: raw Deflate (no zlib or gzip wrapper).
#include <zlib.h>

#include <string>

namespace qelvo::test {

std::string RawDeflate(const std::string& data, int level = Z_DEFAULT_COMPRESSION, int strategy = Z_DEFAULT_STRATEGY,
                       int windowBits = 15, int memLevel = 8);

}  // namespace qelvo::test

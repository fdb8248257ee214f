#include "tests/support/zlib_deflate.h"

#include <stdexcept>

namespace qelvo::test {

std::string RawDeflate(const std::string& data, int level, int strategy, int windowBits, int memLevel) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, memLevel, strategy) != Z_OK)
    throw std::runtime_error("deflateInit2 refused the settings");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
  return out;
}

}  // namespace qelvo::test

// Differential target: zlib deflates the input (settings and flush points chosen by the
// first bytes) and our Inflate must give back exactly the input, with its CRC-32 and the
// exact count of compressed bytes, from a source that may read short or is read in place,
// into a destination that may offer reserved memory.
//
// Build and run (clang, separate build folder):
//   CXX=clang++ CC=clang cmake -S . -B build/fuzz -G Ninja -DQELVO_BUILD_FUZZ=ON \
//     -DQELVO_BUILD_TESTS=OFF -DQELVO_WITH_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
//   cmake --build build/fuzz --target fuzz_inflate_diff
//   build/fuzz/fuzz/inflate_diff/fuzz_inflate_diff corpus_diff -max_len=65536 -max_total_time=600
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codecs/inflate.h"
#include "rtl/stream.h"
#include "rtl/view_streams.h"

namespace {

using qelvo::rtl::TMemoryStream;

std::string Deflate(const uint8_t* aData, size_t aSize, uint8_t aSettings, uint8_t aFlushes) {
  static const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  const int level = aSettings % 10;
  const int strategy = kStrategies[(aSettings / 10) % 5];
  const int windowBits = 9 + (aFlushes & 7) % 7;
  const int memLevel = 1 + (aSettings >> 5) % 9;
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, memLevel, strategy) != Z_OK) std::abort();
  std::string out(deflateBound(&z, aSize) + 1024 + aSize / 8, '\0');
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  // Cut the input into pieces with sync or full flushes between them: empty stored
  // blocks, blocks ending anywhere in a byte, and resets of the history.
  const size_t piece = aFlushes >> 3 ? std::max<size_t>(1, aSize / (aFlushes >> 3)) : aSize + 1;
  size_t at = 0;
  int n = 0;
  while (at < aSize) {
    const size_t len = std::min(piece, aSize - at);
    z.next_in = const_cast<Bytef*>(aData + at);
    z.avail_in = static_cast<uInt>(len);
    at += len;
    if (deflate(&z, at < aSize ? (++n % 3 == 0 ? Z_FULL_FLUSH : Z_SYNC_FLUSH) : Z_FINISH) == Z_STREAM_ERROR)
      std::abort();
  }
  if (aSize == 0) deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize < 3) return 0;
  const uint8_t settings = aData[0];
  const uint8_t flushes = aData[1];
  const int step = 1 + aData[2] % 64 * (aData[2] & 0x80 ? 300 : 1);
  // The source is read where it lies and the output goes into memory the destination
  // reserved (too little, about half, or about all of it).
  const bool inPlace = (aData[2] & 0x40) != 0;
  aData += 3;
  aSize -= 3;
  const std::string packed = Deflate(aData, aSize, settings, flushes);
  const std::string source = packed + "trailer";
  std::unique_ptr<qelvo::rtl::TReadOnlyMemoryStream> in =
      inPlace ? std::make_unique<qelvo::rtl::TReadOnlyMemoryStream>(source)
              : std::make_unique<qelvo::rtl::TShortReadStream>(source, std::vector<int>{step});
  TMemoryStream out;
  if (inPlace) out.SetCapacity(static_cast<int64_t>(step % 3 * aSize / 2 + 100));
  qelvo::codecs::TArcDeflateHelper helper;
  const uint32_t crc = qelvo::codecs::Inflate(in.get(), &out, &helper);
  if (static_cast<size_t>(out.Size()) != aSize || (aSize > 0 && std::memcmp(out.Memory(), aData, aSize) != 0))
    std::abort();
  if (crc != static_cast<uint32_t>(crc32(0, aData, static_cast<uInt>(aSize)))) std::abort();
  if (helper.CompressedSize != static_cast<int64_t>(packed.size())) std::abort();
  if (in->Position() != static_cast<int64_t>(packed.size())) std::abort();
  return 0;
}

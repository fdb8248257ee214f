// Arbitrary bytes as a Deflate or Deflate64 stream (options from the first byte): no
// crash, no access outside a table or window, output bounded by what the input can
// express. Where zlib accepts the bytes as a complete raw Deflate stream, our result
// must be the same bytes and the same count of consumed bytes.
//
// Build and run (clang, separate build folder):
//   CXX=clang++ CC=clang cmake -S . -B build/fuzz -G Ninja -DQELVO_BUILD_FUZZ=ON \
//     -DQELVO_BUILD_TESTS=OFF -DQELVO_WITH_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
//   cmake --build build/fuzz --target fuzz_inflate_raw
//   build/fuzz/fuzz/inflate_raw/fuzz_inflate_raw corpus_raw -max_len=8192 -max_total_time=600
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "codecs/inflate.h"
#include "rtl/stream.h"

namespace {

using qelvo::rtl::TMemoryStream;

// Keeps at most a limit of bytes and counts the rest.
// Keeps the first bytes of the output and counts the rest. It may offer a reserved write
// area of exactly its size, so that a write past it is caught.
class TBoundedSink : public qelvo::rtl::TStream {
 public:
  TBoundedSink(size_t aKeep, size_t aReserved)
      : FKeep(aKeep), FArea(aReserved > 0 ? new uint8_t[aReserved] : nullptr), FAreaSize(aReserved) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* aBuffer, int64_t aCount) override {
    FAreaOpen = false;
    Keep(static_cast<const char*>(aBuffer), aCount);
    return aCount;
  }
  int64_t Seek(int64_t, qelvo::rtl::TSeekOrigin) override { return Count; }
  qelvo::rtl::TWriteArea WriteArea() override {
    if (!FAreaOpen || FAreaUsed == FAreaSize) return {};
    return {FArea.get() + FAreaUsed, static_cast<int64_t>(FAreaSize - FAreaUsed)};
  }
  void WriteAreaFilled(int64_t aCount) override {
    if (!FAreaOpen || aCount < 0 || static_cast<size_t>(aCount) > FAreaSize - FAreaUsed) std::abort();
    Keep(reinterpret_cast<const char*>(FArea.get() + FAreaUsed), aCount);
    FAreaUsed += static_cast<size_t>(aCount);
  }
  std::string Data;
  int64_t Count = 0;

 private:
  void Keep(const char* aBytes, int64_t aCount) {
    const size_t keep = std::min(static_cast<size_t>(aCount), FKeep - std::min(FKeep, Data.size()));
    Data.append(aBytes, keep);
    Count += aCount;
  }
  size_t FKeep;
  std::unique_ptr<uint8_t[]> FArea;
  size_t FAreaSize;
  size_t FAreaUsed = 0;
  bool FAreaOpen = true;
};

bool ZlibInflate(const uint8_t* aData, size_t aSize, std::string& aOut, size_t& aUsed) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) std::abort();
  z.next_in = const_cast<Bytef*>(aData);
  z.avail_in = static_cast<uInt>(aSize);
  char buffer[65536];
  int rc;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    aOut.append(buffer, sizeof buffer - z.avail_out);
  } while (rc == Z_OK && (z.avail_out == 0 || z.avail_in > 0));
  aUsed = z.total_in;
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize < 1 || aSize > 8192) return 0;
  const uint8_t mode = aData[0];
  ++aData;
  --aSize;
  const bool deflate64 = mode & 1;
  int32_t options = 0;
  if (deflate64) options |= qelvo::codecs::ofDeflate64;
  if (mode & 2) options |= qelvo::codecs::ofAdler32;
  if (mode & 4) options |= qelvo::codecs::ofTestOnly;
  qelvo::codecs::TArcDeflateHelper helper;
  helper.Options = options;
  if (mode & 8) helper.PartialSize = 1 + (mode >> 4) * 7000;

  TMemoryStream in;
  in.WriteBuffer(aData, static_cast<int64_t>(aSize));
  in.SetPosition(0);
  // Without a partial size, the high bits of the mode reserve a write area of up to 1 MiB.
  TBoundedSink out(8u << 20, (mode & 8) ? 0 : static_cast<size_t>(mode >> 4) * 65536);
  bool ok = true;
  uint32_t result = 0;
  try {
    result = qelvo::codecs::Inflate(&in, &out, &helper);
  } catch (const qelvo::codecs::EArcInflateError&) {
    ok = false;
  }
  // One length code, one distance code and their extra bits take at least 2 bits for 258
  // bytes (Deflate) or 18 bits for 65538 (Deflate64); the zero padding of the last words
  // adds at most 6 bytes, and a partial-size stop up to one more match.
  const int64_t produced = (options & qelvo::codecs::ofTestOnly) ? helper.NormalSize : out.Count;
  const int64_t bits = 8 * static_cast<int64_t>(aSize + 6);
  const int64_t bound = deflate64 ? bits / 18 * 65538 + 65538 : bits / 2 * 258 + 258;
  if (ok && produced > bound) std::abort();
  if (out.Count > bound) std::abort();
  if (ok && (options & qelvo::codecs::ofTestOnly) && out.Count != 0) std::abort();

  if (!deflate64 && !(mode & 8)) {
    std::string expected;
    size_t used = 0;
    if (ZlibInflate(aData, aSize, expected, used)) {
      if (!ok) std::abort();
      if (helper.NormalSize != static_cast<int64_t>(expected.size())) std::abort();
      if (helper.CompressedSize != static_cast<int64_t>(used)) std::abort();
      if (!(options & qelvo::codecs::ofTestOnly) && out.Data != expected.substr(0, out.Data.size())) std::abort();
      const uint32_t check = (options & qelvo::codecs::ofAdler32)
                                 ? adler32(1, reinterpret_cast<const Bytef*>(expected.data()), expected.size())
                                 : crc32(0, reinterpret_cast<const Bytef*>(expected.data()), expected.size());
      if (result != check) std::abort();
    }
  }
  return 0;
}

// Arbitrary bytes as the data of an LZMA item (method 14): the item header, properties
// and stream. The first four bytes give the expected size (all ones: unknown, else up
// to 16 MiB). Decoding may only end in EArcLZMAException or the stream read error of a
// header cut short, never writes more than the expected size, and whatever the
// dictionary size the properties claim, memory follows the output actually produced.
#include <cstdint>
#include <cstdlib>

#include "codecs/lzma_decoder.h"
#include "fuzz/counting_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize < 4 || aSize > 1 << 18) return 0;
  const uint32_t word = aData[0] | aData[1] << 8 | aData[2] << 16 | uint32_t{aData[3]} << 24;
  const int64_t expected = word == 0xFFFFFFFFu ? qelvo::codecs::kLzmaUnknownSize : int64_t{word & 0xFFFFFF};
  qelvo::rtl::TMemoryStream in;
  qelvo::fuzz::LoadInput(in, aData + 4, aSize - 4);
  qelvo::fuzz::TCountingSink out;
  try {
    qelvo::codecs::DecompressLzmaItem(in, expected, out);
  } catch (const qelvo::codecs::EArcLZMAException&) {
  } catch (const qelvo::rtl::EReadError&) {
  }
  if (expected != qelvo::codecs::kLzmaUnknownSize && out.Count > expected) std::abort();
  return 0;
}

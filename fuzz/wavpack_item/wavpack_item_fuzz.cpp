// Arbitrary bytes as the data of a WavPack item (method 97), read by libwavpack through
// the adapter's stream callbacks. Decoding may only end normally or in the adapter's
// open failure; the output is the stored wrapper and whole sample frames.
#include <cstdint>
#include <cstdlib>

#include "codecs/wavpack_decoder.h"
#include "fuzz/counting_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize > 1 << 18) return 0;
  qelvo::rtl::TMemoryStream in;
  qelvo::fuzz::LoadInput(in, aData, aSize);
  qelvo::fuzz::TCountingSink out;
  try {
    qelvo::codecs::DecompressWavPackItem(in, out);
  } catch (const qelvo::rtl::Exception&) {
    if (out.Count != 0) std::abort();  // open failures happen before anything is written
  }
  return 0;
}

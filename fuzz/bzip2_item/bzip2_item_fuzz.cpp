// Arbitrary bytes as the data of a bzip2 item (method 12). The first three bytes give
// the item's uncompressed size (up to 16 MiB), the rest is the stored data. Decoding
// may only end in the adapter's bzip2 errors or the stream read error of data that
// holds fewer bytes; on success exactly the stated size has been written.
#include <cstdint>
#include <cstdlib>

#include "codecs/bzip2_stream.h"
#include "fuzz/counting_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize < 3 || aSize > 1 << 18) return 0;
  const int64_t size = aData[0] | aData[1] << 8 | aData[2] << 16;
  qelvo::rtl::TMemoryStream in;
  qelvo::fuzz::LoadInput(in, aData + 3, aSize - 3);
  qelvo::fuzz::TCountingSink out;
  bool ok = true;
  try {
    qelvo::codecs::DecompressBzip2Item(in, size, out);
  } catch (const qelvo::codecs::EBZip2Error&) {
    ok = false;
  } catch (const qelvo::rtl::EReadError&) {
    ok = false;
  }
  if (out.Count > size) std::abort();
  if (ok && out.Count != size) std::abort();
  return 0;
}

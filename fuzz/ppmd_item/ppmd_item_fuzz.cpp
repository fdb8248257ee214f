// Arbitrary bytes as the data of a PPMd item (method 98): parameter word, then the
// range coder's bytes. Decoding may only end at the decoder's end mark or data error,
// in EArcReadError when the input runs out, or in the refusal of model order 1.
//
// The model memory of the parameter word is capped at 16 MiB here (its top four bits
// cleared) so that each run stays fast under the sanitizers; order and restoration
// method stay as the input says.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/errors.h"
#include "codecs/ppmd_decoder.h"
#include "fuzz/counting_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize > 1 << 16) return 0;
  std::vector<uint8_t> item(aData, aData + aSize);
  if (item.size() >= 2) item[1] &= 0xF0;
  qelvo::rtl::TMemoryStream in;
  qelvo::fuzz::LoadInput(in, item.data(), item.size());
  qelvo::fuzz::TCountingSink out;
  try {
    qelvo::codecs::DecompressPPMdItem(in, out);
  } catch (const qelvo::archive::EArcReadError&) {
  } catch (const qelvo::codecs::EArcPPMdError&) {
    if (item.size() < 2 || (item[0] & 15) != 0) std::abort();  // only order 1 is refused
  }
  return 0;
}

#pragma once
// ZIP method 98: PPMd variant I revision 1, decoded by the model and range decoder of
// Debian's 7zip sources.
//
// The item starts with a 16-bit little-endian parameter word: model order in bits 0..3
// (plus one), model memory in bits 4..11 (plus one, in MiB) and the restoration method
// in bits 12..15, handed to the model as it is. Symbols are decoded until the decoder
// reports its end mark or a data error; neither the expected size nor the kind of end
// is checked here, so damaged data ends decoding early and the CRC comparison of item
// extraction reports it. Running out of input is EArcReadError.
#include <cstdint>

#include "rtl/stream.h"

namespace qelvo::codecs {

// Parameters the decoder cannot work with (a model order of 1).
class EArcPPMdError : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

struct TPPMdParameters {
  unsigned ModelOrder;     // 1..16; 1 is refused
  uint32_t MemorySize;     // bytes, 1..256 MiB
  unsigned RestoreMethod;  // 0 restart, 1 cut off; others are passed on unchanged
};

TPPMdParameters DecodePPMdParameters(uint16_t aWord);

void DecompressPPMdItem(rtl::TStream& aSource, rtl::TStream& aDest);

}  // namespace qelvo::codecs

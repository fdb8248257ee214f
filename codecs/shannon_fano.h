#pragma once
// TArcShannonFanoTree: one of implode's code trees (literals, lengths or distances),
// given as a bit length per value and turned into a lookup table.
//
// The codes are assigned the way the format defines them: values sorted by bit length,
// then by value; codes handed out from the longest down, each length's step being
// 1 << (16 - length); every code then read bit-reversed, since the stream is least
// significant bit first. A decode takes the shortest length whose code matches the
// next bits (the first value in sorted order among equals). Bits that match nothing
// read MaxLength() + 1 bits and decode to 0.
//
// The table is indexed by the next MaxLength() bits, so a decode is one look-up.
#include <cstdint>
#include <vector>

namespace qelvo::codecs {

class TArcShannonFanoTree {
 public:
  struct TEntry {
    uint8_t Value;
    uint8_t Length;  // bits the decode consumes
  };

  // aBitLengths[v] is the code length of value v (0: no code), 0..16 each.
  void Build(const uint8_t* aBitLengths, int aCount);
  int MaxLength() const { return FMaxLength; }
  // aBits holds at least MaxLength() next bits (least significant first).
  TEntry Decode(uint32_t aBits) const { return FTable[aBits & FMask]; }

 private:
  std::vector<TEntry> FTable;
  int FMaxLength = 0;
  uint32_t FMask = 0;
};

}  // namespace qelvo::codecs

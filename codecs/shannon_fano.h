#pragma once
// TArcShannonFanoTree: one of implode's code trees (literals, lengths or distances),
// given as a bit length per value and turned into lookup tables.
//
// The codes are assigned the way the format defines them: values sorted by bit length,
// then by value; codes handed out from the longest down, each length's step being
// 1 << (16 - length); every code then read bit-reversed, since the stream is least
// significant bit first. A decode takes the shortest length whose code matches the
// next bits (the first value in sorted order among equals). Bits that match nothing
// read MaxLength() + 1 bits and decode to 0.
//
// The first table is indexed by the next kRootBits bits (fewer for a shallower tree);
// codes longer than that continue in a second table reached from the first, indexed
// by the bits that follow. Trees are built per item, so the tables stay small.
#include <cstdint>
#include <vector>

namespace qelvo::codecs {

class TArcShannonFanoTree {
 public:
  static constexpr int kRootBits = 9;

  struct TEntry {
    uint16_t Value;  // the value, or for a link the first index of its second table
    uint8_t Length;  // bits the decode consumes; 0 marks a link
  };

  // aBitLengths[v] is the code length of value v (0: no code), 0..16 each.
  void Build(const uint8_t* aBitLengths, int aCount);
  int MaxLength() const { return FMaxLength; }
  // aBits holds at least MaxLength() next bits (least significant first).
  TEntry Decode(uint32_t aBits) const {
    const TEntry root = FRoot[aBits & FRootMask];
    if (root.Length != 0) return root;
    return FSecond[root.Value + ((aBits >> FRootBits) & FSecondMask)];
  }

 private:
  std::vector<TEntry> FRoot;
  std::vector<TEntry> FSecond;
  int FMaxLength = 0;
  int FRootBits = 0;
  uint32_t FRootMask = 0;
  uint32_t FSecondMask = 0;
};

}  // namespace qelvo::codecs

#pragma once
// Packed decode entries for the decode loop's fast path, derived from a tree's decode
// table. Where the tree's entry names a symbol, a packed entry already says what the
// symbol means, so that one lookup and one shift decode a literal, or a length or
// distance together with its extra bits:
//   bits 0..7   bits to consume: the code and its extra bits
//   bits 8..11  the code's own length (the extra bits follow it)
//   bit 12      literal; bit 13 end of block; bit 14 no valid symbol
//   bit 15      the code is longer than the packed table: look in the tree's table
//   bits 16..31 the literal byte, the length base or the distance base
// The packed table covers the first kFastBits bits of a code (fewer for shorter trees),
// small enough to stay in the first-level cache; the rare longer codes are found at the
// tree's full width and packed on the fly.
#include <cstdint>

#include "codecs/deflate_huffman.h"

namespace qelvo::codecs {

inline constexpr uint32_t kFastLiteral = 1u << 12;
inline constexpr uint32_t kFastEnd = 1u << 13;
inline constexpr uint32_t kFastBad = 1u << 14;
inline constexpr uint32_t kFastLong = 1u << 15;

// Packs one entry of a literal/length tree. Symbol 285 is length 258 in Deflate and a
// 16-bit extra value above 3 in Deflate64; 286, 287 and an index no code reaches are bad.
uint32_t PackLiteralEntry(uint32_t aEntry, bool aDeflate64);
// Packs one entry of a distance tree. Deflate refuses symbols 30 and 31.
uint32_t PackDistanceEntry(uint32_t aEntry, bool aDeflate64);

class TArcDfFastTable {
 public:
  static constexpr int kFastBits = 11;

  enum TKind { fkLiteral, fkDistance };
  TArcDfFastTable(const TArcDfDecodeHuffmanTree& aTree, TKind aKind, bool aDeflate64);
  TArcDfFastTable(const TArcDfFastTable&) = delete;
  TArcDfFastTable& operator=(const TArcDfFastTable&) = delete;

  const uint32_t* Entries() const { return FEntries; }
  uint32_t Mask() const { return FMask; }
  // The tree's table, for the codes the packed table cannot hold.
  const uint32_t* Full() const { return FFull; }
  uint32_t FullMask() const { return FFullMask; }

 private:
  uint32_t FEntries[1u << kFastBits];
  uint32_t FMask;
  const uint32_t* FFull;
  uint32_t FFullMask;
};

}  // namespace qelvo::codecs

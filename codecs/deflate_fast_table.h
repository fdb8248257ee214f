#pragma once
// Packed decode entries for the decode loop's fast path, derived from a tree's decode
// table. Where the tree's entry names a symbol, a packed entry already says what the
// symbol means, so that one lookup and one shift decode a literal, or a length or
// distance together with its extra bits:
//   bits 0..7   bits to consume: the code and its extra bits (at most 31)
//   bits 8..11  the code's own length (the extra bits follow it)
//   bit 12      literal; bit 13 end of block; bit 14 no valid symbol
//   bit 15      the code is longer than the packed table: look in the tree's table
//   bits 16..31 the literal byte, the length base or the distance base
// The packed table always has 2^Bits entries (a shorter tree's entries repeat), so the
// loop masks with a constant; it stays small enough for the first-level cache. The rare
// longer codes are found at the tree's full width and packed on the fly.
#include <cstdint>

#include "codecs/deflate_base.h"
#include "codecs/deflate_huffman.h"

namespace qelvo::codecs {

inline constexpr uint32_t kFastLiteral = 1u << 12;
inline constexpr uint32_t kFastEnd = 1u << 13;
inline constexpr uint32_t kFastBad = 1u << 14;
inline constexpr uint32_t kFastLong = 1u << 15;

namespace fast_table_detail {
inline uint32_t Pack(uint32_t aFlagsAndValue, uint32_t aCodeLen, uint32_t aExtra) {
  return aFlagsAndValue | (aCodeLen << 8) | (aCodeLen + aExtra);
}
}  // namespace fast_table_detail

// Packs one entry of a literal/length tree. Symbol 285 is length 258 in Deflate and a
// 16-bit extra value above 3 in Deflate64; 286, 287 and an index no code reaches are bad.
inline uint32_t PackLiteralEntry(uint32_t aEntry, bool aDeflate64) {
  using fast_table_detail::Pack;
  const uint32_t symbol = aEntry & 0xFFFF;
  const uint32_t codeLen = (aEntry >> 16) & 0xFF;
  if (aEntry == kNoCode || symbol > 285) return kFastBad;
  if (symbol < 256) return Pack(kFastLiteral | (symbol << 16), codeLen, 0);
  if (symbol == 256) return Pack(kFastEnd, codeLen, 0);
  if (!aDeflate64 && symbol == 285) return Pack(258u << 16, codeLen, 0);
  return Pack(uint32_t{LengthBase[symbol - 257]} << 16, codeLen, LengthExtraBits[symbol - 257]);
}

// Packs one entry of a distance tree. Deflate refuses symbols 30 and 31.
inline uint32_t PackDistanceEntry(uint32_t aEntry, bool aDeflate64) {
  using fast_table_detail::Pack;
  const uint32_t symbol = aEntry & 0xFFFF;
  const uint32_t codeLen = (aEntry >> 16) & 0xFF;
  if (aEntry == kNoCode || symbol > (aDeflate64 ? 31u : 29u)) return kFastBad;
  return Pack(DistanceBase[symbol] << 16, codeLen, DistanceExtraBits[symbol]);
}

class TArcDfFastTable {
 public:
  // Widths of the two packed tables: literal/length codes are mostly short and the
  // literal path is the hottest; distance codes are fewer and rarely longer than 10 bits.
  static constexpr int kLiteralBits = 11;
  static constexpr int kDistanceBits = 10;

  enum TKind { fkLiteral, fkDistance };
  TArcDfFastTable(const TArcDfDecodeHuffmanTree& aTree, TKind aKind, bool aDeflate64);
  TArcDfFastTable(const TArcDfFastTable&) = delete;
  TArcDfFastTable& operator=(const TArcDfFastTable&) = delete;

  // 2^kLiteralBits or 2^kDistanceBits entries, by kind.
  const uint32_t* Entries() const { return FEntries; }
  // The tree's table, for the codes the packed table cannot hold.
  const uint32_t* Full() const { return FFull; }
  uint32_t FullMask() const { return FFullMask; }

 private:
  uint32_t FEntries[1u << kLiteralBits];
  const uint32_t* FFull;
  uint32_t FFullMask;
};

}  // namespace qelvo::codecs

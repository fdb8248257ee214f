#pragma once
// Packed decode entries for the decode loop's fast path, derived from a tree's codes.
// Where a tree's entry names a symbol, a packed entry already says what the
// symbol means, so that one lookup and one shift decode a literal, or a length or
// distance together with its extra bits:
//   bits 0..7   bits to consume: the code and its extra bits (at most 31)
//   bits 8..11  the code's own length (the extra bits follow it)
//   bit 12      literal; bit 13 end of block; bit 14 no valid symbol
//   bit 15      the code is longer than the main table: bits 16..31 give the start of
//               its subtable and bits 8..11 the subtable's width, indexed by the bits
//               that follow the main table's
//   bits 16..31 the literal byte, the length base or the distance base
// The main table always has 2^Bits entries (a shorter tree's entries repeat), so the
// loop masks with a constant; it stays small enough for the first-level cache. Entries
// in a subtable carry the code's whole length, so that they are consumed like the
// others. Both are built from the tree's code list, never from its full decode table,
// so that a block costs a few thousand entries whatever its longest code.
#include <cstdint>

#include "codecs/deflate_base.h"
#include "codecs/deflate_huffman.h"

namespace qelvo::codecs {

inline constexpr uint32_t kFastLiteral = 1u << 12;
inline constexpr uint32_t kFastEnd = 1u << 13;
inline constexpr uint32_t kFastBad = 1u << 14;
inline constexpr uint32_t kFastLong = 1u << 15;

// The index into a long code's subtable: the bits after the main table's.
inline uint32_t SubtableIndex(uint64_t aBits, uint32_t aPointer, int aMainBits) {
  return static_cast<uint32_t>(aBits >> aMainBits) & ((1u << ((aPointer >> 8) & 0xF)) - 1);
}

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
  // literal path is the hottest; distance codes are fewer and mostly at most 8 bits long,
  // and a small table leaves the first-level cache to the literals, the window and the input.
  static constexpr int kLiteralBits = 11;
  static constexpr int kDistanceBits = 8;

  // The main table and, at most, a subtable of 2^(15 - Bits) entries per code.
  static constexpr int kMaxEntries = (1 << kLiteralBits) + 288 * (1 << (15 - kLiteralBits));
  static_assert((1 << kDistanceBits) + 32 * (1 << (15 - kDistanceBits)) <= kMaxEntries);

  enum TKind { fkLiteral, fkDistance };
  TArcDfFastTable(const TArcDfDecodeHuffmanTree& aTree, TKind aKind, bool aDeflate64);
  TArcDfFastTable(const TArcDfFastTable&) = delete;
  TArcDfFastTable& operator=(const TArcDfFastTable&) = delete;

  // False for an over-subscribed tree (a corrupted stream), whose later codes overwrite
  // earlier ones: only the tree's own table decodes it as the format's readers do, and
  // Lookup goes through it.
  bool Usable() const { return FUsable; }
  // The main table, 2^kLiteralBits or 2^kDistanceBits entries by kind, then the subtables.
  const uint32_t* Entries() const { return FEntries; }
  // The packed entry of the code that starts the bits, which hold at least 15 of them.
  uint32_t Lookup(uint32_t aBits) const;

 private:
  const TArcDfDecodeHuffmanTree& FTree;
  TKind FKind;
  bool FDeflate64;
  bool FUsable = true;
  uint32_t FEntries[kMaxEntries];
};

}  // namespace qelvo::codecs

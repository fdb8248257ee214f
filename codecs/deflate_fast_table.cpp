#include "codecs/deflate_fast_table.h"

#include <algorithm>

namespace qelvo::codecs {

namespace {

uint32_t Pack(uint32_t aEntry, TArcDfFastTable::TKind aKind, bool aDeflate64) {
  return aKind == TArcDfFastTable::fkLiteral ? PackLiteralEntry(aEntry, aDeflate64)
                                             : PackDistanceEntry(aEntry, aDeflate64);
}

// Every symbol's packed entry as for a code of length 0, by kind and by Deflate64: a
// code's own entry adds its length to both length fields, unless the symbol is bad.
struct TPackTemplates {
  uint32_t Entries[2][2][288];
};

const TPackTemplates& PackTemplates() {
  static const TPackTemplates templates = [] {
    TPackTemplates t{};
    for (const TArcDfFastTable::TKind kind : {TArcDfFastTable::fkLiteral, TArcDfFastTable::fkDistance})
      for (const bool deflate64 : {false, true})
        for (uint32_t symbol = 0; symbol < (kind == TArcDfFastTable::fkLiteral ? 288u : 32u); ++symbol)
          t.Entries[kind][deflate64][symbol] = Pack(symbol, kind, deflate64);
    return t;
  }();
  return templates;
}

}  // namespace

TArcDfFastTable::TArcDfFastTable(const TArcDfDecodeHuffmanTree& aTree, TKind aKind, bool aDeflate64)
    : FTree(aTree), FKind(aKind), FDeflate64(aDeflate64) {
  if (aTree.OverSubscribed()) {
    FUsable = false;
    return;
  }
  const uint32_t* const templates = PackTemplates().Entries[aKind][aDeflate64];
  const auto pack = [&](uint32_t aEntry) {
    const uint32_t packed = templates[aEntry & 0xFFFF];
    return packed == kFastBad ? packed : packed + ((aEntry >> 16) & 0xFF) * 0x101;
  };
  const auto codeLength = [](uint32_t aEntry) { return static_cast<int>((aEntry >> 16) & 0xFF); };
  const int bits = aKind == fkLiteral ? kLiteralBits : kDistanceBits;
  const int mainLength = std::min(aTree.LookupBitLength(), bits);
  const int count = aTree.CodeCount();
  uint32_t* const table = FEntries;

  // The main table grows one bit at a time: each step repeats the table so far (every
  // shorter code recurs with its period) and then places the codes of the new length;
  // then it repeats up to its full width. Indexes that no code reaches stay bad.
  table[0] = kFastBad;
  table[1] = kFastBad;
  int k = 0;
  for (int n = 1; n <= mainLength; ++n) {
    const uint32_t size = 1u << n;
    if (n > 1) std::copy_n(table, size / 2, table + size / 2);
    for (; k < count && codeLength(aTree.CodeEntry(k)) == n; ++k) table[aTree.CodeReversed(k)] = pack(aTree.CodeEntry(k));
  }
  for (uint32_t size = 1u << mainLength; size < (1u << bits); size *= 2) std::copy_n(table, size, table + size);

  // Longer codes, grouped by their first bits: in canonical order the codes that share
  // them are neighbours, and the last of a group is its longest.
  const uint32_t mainMask = (1u << bits) - 1;
  uint32_t next = 1u << bits;
  while (k < count) {
    const uint32_t prefix = aTree.CodeReversed(k) & mainMask;
    int end = k + 1;
    while (end < count && (aTree.CodeReversed(end) & mainMask) == prefix) ++end;
    const int width = codeLength(aTree.CodeEntry(end - 1)) - bits;
    uint32_t* const sub = table + next;
    std::fill_n(sub, 1u << width, kFastBad);
    for (; k < end; ++k) {
      const uint32_t entry = aTree.CodeEntry(k);
      const uint32_t packed = pack(entry);
      const uint32_t step = 1u << (codeLength(entry) - bits);
      for (uint32_t j = aTree.CodeReversed(k) >> bits; j < (1u << width); j += step) sub[j] = packed;
    }
    table[prefix] = kFastLong | (next << 16) | (static_cast<uint32_t>(width) << 8);
    next += 1u << width;
  }
}

uint32_t TArcDfFastTable::Lookup(uint32_t aBits) const {
  if (!FUsable) return Pack(FTree.Decode(aBits & ((1u << FTree.LookupBitLength()) - 1)), FKind, FDeflate64);
  const int bits = FKind == fkLiteral ? kLiteralBits : kDistanceBits;
  const uint32_t entry = FEntries[aBits & ((1u << bits) - 1)];
  if (!(entry & kFastLong)) return entry;
  return FEntries[(entry >> 16) + SubtableIndex(aBits, entry, bits)];
}

}  // namespace qelvo::codecs

#include "codecs/deflate_fast_table.h"

#include <algorithm>

namespace qelvo::codecs {

TArcDfFastTable::TArcDfFastTable(const TArcDfDecodeHuffmanTree& aTree, TKind aKind, bool aDeflate64)
    : FFull(aTree.Decodes()), FFullMask((1u << aTree.LookupBitLength()) - 1) {
  const int bits = aKind == fkLiteral ? kLiteralBits : kDistanceBits;
  const int fullBits = aTree.LookupBitLength();
  const uint32_t size = 1u << bits;
  // A symbol's entry is the same wherever it recurs, so each is packed once.
  uint32_t packedBySymbol[288] = {};
  const auto pack = [&](uint32_t aEntry) {
    const uint32_t symbol = aEntry & 0xFFFF;
    if (aEntry == kNoCode || symbol >= 288) return kFastBad;
    uint32_t& packed = packedBySymbol[symbol];
    if (packed == 0)
      packed = aKind == fkLiteral ? PackLiteralEntry(aEntry, aDeflate64) : PackDistanceEntry(aEntry, aDeflate64);
    return packed;
  };
  if (fullBits <= bits) {
    // The tree's table repeats with its own period: pack it once, then copy.
    const uint32_t period = 1u << fullBits;
    for (uint32_t i = 0; i < period; ++i) FEntries[i] = pack(FFull[i]);
    for (uint32_t i = period; i < size; i += period) std::copy_n(FEntries, period, FEntries + i);
    return;
  }
  // Below the full width an entry stands for every index that shares its low bits only
  // when its code is that short and no later code overwrote any of them: a gap, a longer
  // code or an over-subscribed tree sends the lookup to the full table.
  const bool overSubscribed = aTree.OverSubscribed();
  for (uint32_t i = 0; i < size; ++i) {
    const uint32_t entry = FFull[i];
    if (overSubscribed || entry == kNoCode || static_cast<int>((entry >> 16) & 0xFF) > bits) {
      FEntries[i] = kFastLong;
    } else {
      FEntries[i] = pack(entry);
    }
  }
}

}  // namespace qelvo::codecs

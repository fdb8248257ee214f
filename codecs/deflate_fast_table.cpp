#include "codecs/deflate_fast_table.h"

#include <algorithm>

#include "codecs/deflate_base.h"

namespace qelvo::codecs {
namespace {

inline uint32_t Pack(uint32_t aFlagsAndValue, uint32_t aCodeLen, uint32_t aExtra) {
  return aFlagsAndValue | (aCodeLen << 8) | (aCodeLen + aExtra);
}

}  // namespace

uint32_t PackLiteralEntry(uint32_t aEntry, bool aDeflate64) {
  const uint32_t symbol = aEntry & 0xFFFF;
  const uint32_t codeLen = (aEntry >> 16) & 0xFF;
  if (aEntry == kNoCode || symbol > 285) return kFastBad;
  if (symbol < 256) return Pack(kFastLiteral | (symbol << 16), codeLen, 0);
  if (symbol == 256) return Pack(kFastEnd, codeLen, 0);
  if (!aDeflate64 && symbol == 285) return Pack(258u << 16, codeLen, 0);
  return Pack(uint32_t{LengthBase[symbol - 257]} << 16, codeLen, LengthExtraBits[symbol - 257]);
}

uint32_t PackDistanceEntry(uint32_t aEntry, bool aDeflate64) {
  const uint32_t symbol = aEntry & 0xFFFF;
  const uint32_t codeLen = (aEntry >> 16) & 0xFF;
  if (aEntry == kNoCode || symbol > (aDeflate64 ? 31u : 29u)) return kFastBad;
  return Pack(DistanceBase[symbol] << 16, codeLen, DistanceExtraBits[symbol]);
}

TArcDfFastTable::TArcDfFastTable(const TArcDfDecodeHuffmanTree& aTree, TKind aKind, bool aDeflate64)
    : FFull(aTree.Decodes()), FFullMask((1u << aTree.LookupBitLength()) - 1) {
  const int fullBits = aTree.LookupBitLength();
  const int bits = std::min(fullBits, kFastBits);
  const uint32_t size = 1u << bits;
  FMask = size - 1;
  // Below the full width an entry stands for every index that shares its low bits only
  // when its code is that short and no later code overwrote any of them: a gap, a longer
  // code or an over-subscribed tree sends the lookup to the full table.
  const bool exact = bits == fullBits;
  const bool overSubscribed = aTree.OverSubscribed();
  for (uint32_t i = 0; i < size; ++i) {
    const uint32_t entry = FFull[i];
    if (!exact && (overSubscribed || entry == kNoCode || static_cast<int>((entry >> 16) & 0xFF) > bits)) {
      FEntries[i] = kFastLong;
    } else {
      FEntries[i] = aKind == fkLiteral ? PackLiteralEntry(entry, aDeflate64) : PackDistanceEntry(entry, aDeflate64);
    }
  }
}

}  // namespace qelvo::codecs

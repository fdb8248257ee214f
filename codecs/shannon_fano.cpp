#include "codecs/shannon_fano.h"

#include <algorithm>
#include <numeric>

namespace qelvo::codecs {
namespace {

uint16_t Reverse16(uint16_t v) {
  uint16_t r = 0;
  for (int i = 0; i < 16; ++i) {
    r = static_cast<uint16_t>((r << 1) | (v & 1));
    v >>= 1;
  }
  return r;
}

}  // namespace

void TArcShannonFanoTree::Build(const uint8_t* aBitLengths, int aCount) {
  std::vector<int> order(static_cast<size_t>(aCount));
  std::iota(order.begin(), order.end(), 0);
  // Values ascend within a length already, so a stable sort by length gives the
  // (length, value) order.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return aBitLengths[a] < aBitLengths[b]; });

  FMaxLength = aCount == 0 ? 0 : aBitLengths[order.back()];
  FMask = (1u << FMaxLength) - 1;
  const TEntry unmatched{0, static_cast<uint8_t>(FMaxLength + 1)};
  FTable.assign(size_t{1} << FMaxLength, unmatched);
  std::vector<bool> filled(FTable.size(), false);

  std::vector<uint16_t> codes(static_cast<size_t>(aCount));
  uint16_t code = 0;
  uint16_t increment = 0;
  int lastLength = 0;
  for (int i = aCount - 1; i >= 0; --i) {
    const int length = aBitLengths[order[static_cast<size_t>(i)]];
    code = static_cast<uint16_t>(code + increment);
    if (length != lastLength) {
      lastLength = length;
      increment = static_cast<uint16_t>(1u << (16 - length));
    }
    codes[static_cast<size_t>(i)] = Reverse16(code);
  }

  // Shortest lengths first, so that each pattern keeps the first code that matches it.
  for (int i = 0; i < aCount; ++i) {
    const int length = aBitLengths[order[static_cast<size_t>(i)]];
    const uint32_t reversed = codes[static_cast<size_t>(i)];
    // A length of 0 never matches, nor does a code with bits above its length (only a
    // tree that oversubscribes its lengths has such codes).
    if (length == 0 || (reversed >> length) != 0) continue;
    const TEntry entry{static_cast<uint8_t>(order[static_cast<size_t>(i)]), static_cast<uint8_t>(length)};
    for (size_t p = reversed; p < FTable.size(); p += size_t{1} << length) {
      if (filled[p]) continue;
      filled[p] = true;
      FTable[p] = entry;
    }
  }
}

}  // namespace qelvo::codecs

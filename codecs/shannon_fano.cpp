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

struct TCode {
  uint8_t Value;
  uint8_t Length;
  uint16_t Reversed;
};

// The matchable codes in sorted order (length, then value).
std::vector<TCode> AssignCodes(const uint8_t* aBitLengths, int aCount) {
  std::vector<int> order(static_cast<size_t>(aCount));
  std::iota(order.begin(), order.end(), 0);
  // Values ascend within a length already, so a stable sort by length gives the
  // (length, value) order.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return aBitLengths[a] < aBitLengths[b]; });

  std::vector<TCode> codes(static_cast<size_t>(aCount));
  uint16_t code = 0;
  uint16_t increment = 0;
  int lastLength = 0;
  for (int i = aCount - 1; i >= 0; --i) {
    const int value = order[static_cast<size_t>(i)];
    const int length = aBitLengths[value];
    code = static_cast<uint16_t>(code + increment);
    if (length != lastLength) {
      lastLength = length;
      increment = static_cast<uint16_t>(1u << (16 - length));
    }
    codes[static_cast<size_t>(i)] = {static_cast<uint8_t>(value), static_cast<uint8_t>(length), Reverse16(code)};
  }
  // A length of 0 never matches, nor does a code with bits above its length (only a
  // tree that oversubscribes its lengths has such codes).
  std::erase_if(codes, [](const TCode& c) { return c.Length == 0 || (c.Reversed >> c.Length) != 0; });
  return codes;
}

}  // namespace

void TArcShannonFanoTree::Build(const uint8_t* aBitLengths, int aCount) {
  const std::vector<TCode> codes = AssignCodes(aBitLengths, aCount);
  FMaxLength = 0;
  for (int i = 0; i < aCount; ++i) FMaxLength = std::max<int>(FMaxLength, aBitLengths[i]);
  FRootBits = std::min(FMaxLength, kRootBits);
  FRootMask = (1u << FRootBits) - 1;
  const int secondBits = FMaxLength - FRootBits;
  FSecondMask = (1u << secondBits) - 1;
  const TEntry unmatched{0, static_cast<uint8_t>(FMaxLength + 1)};
  FRoot.assign(size_t{1} << FRootBits, unmatched);
  FSecond.clear();

  // Each table is filled from the last code to the first, so that a pattern ends up with
  // the first code in sorted order that matches it: the shortest, then the lowest value.
  for (auto c = codes.rbegin(); c != codes.rend() && c->Length > FRootBits; ++c) {
    TEntry& root = FRoot[c->Reversed & FRootMask];
    if (root.Length != 0) {
      // The first long code under this root pattern: give it a second table.
      root = {static_cast<uint16_t>(FSecond.size()), 0};
      FSecond.resize(FSecond.size() + (size_t{1} << secondBits), unmatched);
    }
    const size_t step = size_t{1} << (c->Length - FRootBits);
    TEntry* second = FSecond.data() + root.Value;
    for (size_t p = c->Reversed >> FRootBits; p <= FSecondMask; p += step) second[p] = {c->Value, c->Length};
  }
  // Short codes last: a shorter match overrides any longer code under the same bits.
  for (auto c = codes.rbegin(); c != codes.rend(); ++c) {
    if (c->Length > FRootBits) continue;
    for (size_t p = c->Reversed; p < FRoot.size(); p += size_t{1} << c->Length) FRoot[p] = {c->Value, c->Length};
  }
}

}  // namespace qelvo::codecs

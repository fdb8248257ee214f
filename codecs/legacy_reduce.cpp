// Reduce (methods 2 to 5, compression factor F = method - 1): each byte is coded
// against the byte before it through a follower set of up to 32 likely successors, and
// the decoded bytes run through a small state machine where DLE (144) introduces a copy
// of 3 to 385 bytes from up to 4096 bytes back. The factor splits the byte after DLE
// between length (low 8 - F bits) and the high part of the distance.
//
// Follower sets are read for the bytes 255 down to 0; a count above 32 does not fit the
// table and is corrupted data.
#include <cstring>
#include <memory>

#include "codecs/legacy_helper.h"

namespace qelvo::codecs {
namespace {

constexpr uint8_t kDLE = 144;
constexpr int kMaxFollowers = 32;

struct TFollowerSet {
  uint8_t Count;
  uint8_t Followers[kMaxFollowers];
};

// Bits of an index into a set of n followers: bits of n - 1, at least 1.
int FollowerIndexBits(int n) {
  int bits = 1;
  while ((1 << bits) < n) ++bits;
  return bits;
}

enum TReduceState { rsLiteral, rsAfterDLE, rsMoreLength, rsDistance };

}  // namespace

void TArcUnzipHelper::ExpandReduced() {
  const int factor = CompressionMethod - 1;
  if (factor < 1 || factor > 4) throw archive::EArcZipInvalidFactor();
  const int lengthMask = 0xFF >> factor;

  auto sets = std::make_unique<TFollowerSet[]>(256);
  std::memset(sets.get(), 0, sizeof(TFollowerSet) * 256);
  for (int c = 255; c >= 0; --c) {
    const int count = static_cast<int>(GetBits(6));
    if (count > kMaxFollowers) throw archive::EArcZipCorruptedData("reduce follower set larger than 32");
    sets[c].Count = static_cast<uint8_t>(count);
    for (int i = 0; i < count; ++i) sets[c].Followers[i] = static_cast<uint8_t>(GetBits(8));
  }

  uint8_t lastChar = 0;
  TReduceState state = rsLiteral;
  int v = 0;
  int length = 0;
  while (!FInEof && !Full()) {
    const TFollowerSet& set = sets[lastChar];
    uint8_t c;
    // An index past the count still lies inside the 32-entry set (zero there).
    if (set.Count == 0 || GetBits(1) == 1)
      c = static_cast<uint8_t>(GetBits(8));
    else
      c = set.Followers[GetBits(FollowerIndexBits(set.Count))];
    lastChar = c;
    if (FInEof) return;

    switch (state) {
      case rsLiteral:
        if (c == kDLE)
          state = rsAfterDLE;
        else
          PutByte(c);
        break;
      case rsAfterDLE:
        if (c == 0) {
          PutByte(kDLE);
          state = rsLiteral;
        } else {
          v = c;
          length = c & lengthMask;
          state = length == lengthMask ? rsMoreLength : rsDistance;
        }
        break;
      case rsMoreLength:
        length += c;
        state = rsDistance;
        break;
      case rsDistance: {
        const int distance = (v >> (8 - factor)) * 256 + c + 1;
        CopyMatch(distance, length + 3);
        state = rsLiteral;
        break;
      }
    }
  }
}

}  // namespace qelvo::codecs

// Implode (method 6): LZ77 over a 4 KiB or 8 KiB window. A flag bit chooses a literal
// (8 plain bits, or a code of the literal tree when the item has three trees) or a
// match, whose distance is a number of plain low bits below a distance-tree code and
// whose length is a length-tree code (63 takes 8 more bits) plus the minimum match.
// The trees come first, each as a run-length list of code lengths.
//
// A tree description of more values than the tree holds is corrupted data.
#include <cstring>

#include "codecs/legacy_helper.h"

namespace qelvo::codecs {

void TArcUnzipHelper::LoadShannonFanoTree(TArcShannonFanoTree& aTree, int aCount) {
  uint8_t lengths[256] = {};
  const int descriptionBytes = static_cast<int>(GetBits(8)) + 1;
  int filled = 0;
  for (int i = 0; i < descriptionBytes; ++i) {
    const uint32_t byte = GetBits(8);
    const int length = static_cast<int>(byte & 0x0F) + 1;
    const int repeat = static_cast<int>(byte >> 4) + 1;
    if (repeat > aCount - filled) throw archive::EArcZipCorruptedData("implode tree describes more values than it holds");
    std::memset(lengths + filled, length, static_cast<size_t>(repeat));
    filled += repeat;
  }
  aTree.Build(lengths, aCount);
}

void TArcUnzipHelper::ExpandImploded() {
  const int lowDistanceBits = DictionarySize == archive::ds8K ? 7 : 6;
  const bool literalTree = ShannonFanoTreeCount == 3;
  const int minMatch = literalTree ? 3 : 2;

  TArcShannonFanoTree literals, lengths, distances;
  if (literalTree) LoadShannonFanoTree(literals, 256);
  LoadShannonFanoTree(lengths, 64);
  LoadShannonFanoTree(distances, 64);

  while (!FInEof && !Full()) {
    // A symbol cut short by the end of the data is not written.
    if (GetBits(1) == 1) {
      const uint8_t literal = literalTree ? DecodeShannonFano(literals) : static_cast<uint8_t>(GetBits(8));
      if (!FInEof) PutByte(literal);
      continue;
    }
    int distance = static_cast<int>(GetBits(lowDistanceBits));
    distance |= DecodeShannonFano(distances) << lowDistanceBits;
    int length = DecodeShannonFano(lengths);
    if (length == 63) length += static_cast<int>(GetBits(8));
    if (!FInEof) CopyMatch(distance + 1, length + minMatch);
  }
}

}  // namespace qelvo::codecs

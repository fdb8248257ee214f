#include "codecs/deflate_huffman.h"

#include <algorithm>
#include <array>
#include <string>

#include "codecs/deflate_base.h"
#include "rtl/exceptions.h"

namespace qelvo::codecs {
namespace {


constexpr std::array<uint8_t, 256> MakeByteReversal() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int b = 0; b < 8; ++b)
      if (i & (1 << b)) r |= 0x80 >> b;
    t[i] = static_cast<uint8_t>(r);
  }
  return t;
}
constexpr std::array<uint8_t, 256> kByteReversal = MakeByteReversal();

// The low n bits of aCode, reversed; bits above n (an over-subscribed code) drop out.
inline uint32_t ReverseCode(uint32_t aCode, int n) {
  const uint32_t r16 = (static_cast<uint32_t>(kByteReversal[aCode & 0xFF]) << 8) | kByteReversal[(aCode >> 8) & 0xFF];
  return r16 >> (16 - n);
}

}  // namespace

TArcDfDecodeHuffmanTree::TArcDfDecodeHuffmanTree(int aAlphabetSize, int aDefMaxCodeLen, TArcDfHuffmanUsage aUsage)
    : FAlphaSize(aAlphabetSize), FDefMaxCodeLen(aDefMaxCodeLen), FUsage(aUsage) {
  rtl::Assert(aAlphabetSize >= 2,
              "TArcDfDecodeHuffmanTree.Create: a huffman tree must be for at least two symbols");
  rtl::Assert(aAlphabetSize <= kMaxAlphabet,
              "TArcDfDecodeHuffmanTree.Create: a huffman tree has at most 288 symbols");
  rtl::Assert(aDefMaxCodeLen >= 1 && aDefMaxCodeLen <= kMaxBits,
              "TArcDfDecodeHuffmanTree.Create: the maximum code length must be between 1 and 15");
  if (FUsage != huDecoding) {
    FEncodes = std::make_unique<int32_t[]>(static_cast<size_t>(FAlphaSize));
  }
}

void TArcDfDecodeHuffmanTree::Build(const uint8_t* aCodeLengths, int aStartInx, int aCount, const uint8_t* aExtraBits,
                                    int aExtraOffset) {
  rtl::Assert(aCount >= 0 && aCount <= FAlphaSize,
              "TArcDfDecodeHuffmanTree.Build: more code lengths than symbols in the alphabet");
  const uint8_t* lengths = aCodeLengths + aStartInx;

  // Four interleaved counts, so that a run of one length does not wait on its own
  // increments; a length above 15 shows in `seen`.
  int counts[4][kMaxBits + 1] = {};
  uint32_t seen = 0;
  int i = 0;
  for (; i + 4 <= aCount; i += 4) {
    for (int j = 0; j < 4; ++j) {
      ++counts[j][lengths[i + j] & kMaxBits];
      seen |= lengths[i + j];
    }
  }
  for (; i < aCount; ++i) {
    ++counts[0][lengths[i] & kMaxBits];
    seen |= lengths[i];
  }
  int countOfLength[kMaxBits + 1];
  int maxLen = 0;
  for (int n = 0; n <= kMaxBits; ++n) {
    countOfLength[n] = counts[0][n] + counts[1][n] + counts[2][n] + counts[3][n];
    if (countOfLength[n] > 0) maxLen = n;
  }
  if (seen > kMaxBits || maxLen > FDefMaxCodeLen) {
    throw rtl::EAssertionFailed("TArcDfDecodeHuffmanTree.Build: a code length is greater than " +
                                std::to_string(FDefMaxCodeLen));
  }
  FMaxCodeLen = maxLen;
  countOfLength[0] = 0;

  uint32_t nextCode[kMaxBits + 2] = {};
  uint32_t code = 0;
  for (int n = 1; n <= kMaxBits; ++n) {
    code = (code + static_cast<uint32_t>(countOfLength[n - 1])) << 1;
    nextCode[n] = code;
  }
  uint32_t kraft = 0;
  for (int n = 1; n <= FMaxCodeLen; ++n) kraft += static_cast<uint32_t>(countOfLength[n]) << (FMaxCodeLen - n);
  FOverSubscribed = kraft > (1u << FMaxCodeLen);

  // The codes by length, then by symbol; symbols without a code go to the spare half of
  // FByLength, so that one pass without a test places every symbol.
  FFirstOfLength[0] = 0;
  for (int n = 1; n <= kMaxBits + 1; ++n) FFirstOfLength[n] = FFirstOfLength[n - 1] + countOfLength[n - 1];
  FCodeCount = FFirstOfLength[kMaxBits + 1];
  int fill[kMaxBits + 1];
  std::copy(FFirstOfLength, FFirstOfLength + kMaxBits + 1, fill);
  fill[0] = kMaxAlphabet;

  // Entry, reversed code and place of every symbol, in symbol order.
  FSymbolCount = aCount;
  uint32_t* const entries = FSymbolEntries;
  uint16_t* const reversedCodes = FReversedCodes;
  const int plainEnd = aExtraOffset == kNoExtraBits ? aCount : std::min(aCount, aExtraOffset);
  const auto place = [&](int i, uint32_t aExtra) {
    const int n = lengths[i];
    reversedCodes[i] = static_cast<uint16_t>(ReverseCode(nextCode[n]++, n));
    entries[i] = n == 0 ? 0 : static_cast<uint32_t>(i) | (static_cast<uint32_t>(n) << 16) | (aExtra << 24);
    FByLength[fill[n]++] = static_cast<uint16_t>(i);
  };
  for (int i = 0; i < plainEnd; ++i) place(i, 0);
  for (int i = plainEnd; i < aCount; ++i) place(i, aExtraBits[i - aExtraOffset]);
  if (FEncodes) {
    for (int i = 0; i < FAlphaSize; ++i)
      FEncodes[i] = i < aCount && lengths[i] > 0 ? static_cast<int32_t>(reversedCodes[i] | (entries[i] & 0xFFFF0000u))
                                                 : -1;
  }
  FDecodes.reset();
  FMask = 0u - (1u << FMaxCodeLen);
}

void TArcDfDecodeHuffmanTree::BuildDecodes() const {
  const uint32_t tableSize = 1u << FMaxCodeLen;
  FDecodes.reset(new uint32_t[tableSize]);
  uint32_t* const table = FDecodes.get();
  if (FOverSubscribed) {
    // Over-subscribed: later symbols overwrite earlier ones, entry by entry.
    std::fill_n(table, tableSize, kNoCode);
    for (int i = 0; i < FSymbolCount; ++i) {
      const int n = static_cast<int>((FSymbolEntries[i] >> 16) & 0xFF);
      if (n == 0) continue;
      for (uint32_t j = FReversedCodes[i]; j < tableSize; j += 1u << n) table[j] = FSymbolEntries[i];
    }
    return;
  }

  // A prefix-free set: grow the table one bit at a time, each step repeating the table so
  // far (every shorter code recurs with its period) and then placing the codes of the new
  // length. Indexes that no code reaches keep kNoCode.
  table[0] = kNoCode;
  if (FMaxCodeLen > 0) table[1] = kNoCode;
  for (int n = 1; n <= FMaxCodeLen; ++n) {
    const uint32_t size = 1u << n;
    if (n > 1) std::copy_n(table, size / 2, table + size / 2);
    for (int k = FFirstOfLength[n]; k < FFirstOfLength[n + 1]; ++k) {
      const int symbol = FByLength[k];
      table[FReversedCodes[symbol]] = FSymbolEntries[symbol];
    }
  }
}

uint32_t TArcDfDecodeHuffmanTree::Decode(uint32_t aLookupBits) const {
  rtl::Assert((aLookupBits & FMask) == 0,
              "TArcDfDecodeHuffmanTree.Decode: trying to decode too many bits, use LookupBitLength property");
  return Decodes()[aLookupBits];
}

namespace {

std::unique_ptr<TArcDfDecodeHuffmanTree> MakeFixedLiteralTree() {
  uint8_t lengths[288];
  std::fill(lengths, lengths + 144, 8);
  std::fill(lengths + 144, lengths + 256, 9);
  std::fill(lengths + 256, lengths + 280, 7);
  std::fill(lengths + 280, lengths + 288, 8);
  auto tree = std::make_unique<TArcDfDecodeHuffmanTree>(288, 15, huBoth);
  tree->Build(lengths, 0, 288, LengthExtraBits, 257);
  tree->Decodes();
  return tree;
}

std::unique_ptr<TArcDfDecodeHuffmanTree> MakeFixedDistanceTree() {
  uint8_t lengths[32];
  std::fill(lengths, lengths + 32, 5);
  auto tree = std::make_unique<TArcDfDecodeHuffmanTree>(32, 15, huBoth);
  tree->Build(lengths, 0, 32, DistanceExtraBits, 0);
  tree->Decodes();
  return tree;
}

}  // namespace

const TArcDfDecodeHuffmanTree& FixedLiteralTree() {
  static const std::unique_ptr<TArcDfDecodeHuffmanTree> tree = MakeFixedLiteralTree();
  return *tree;
}

const TArcDfDecodeHuffmanTree& FixedDistanceTree() {
  static const std::unique_ptr<TArcDfDecodeHuffmanTree> tree = MakeFixedDistanceTree();
  return *tree;
}

}  // namespace qelvo::codecs

#pragma once
// Table-driven canonical Huffman decoding. The decode table has one entry per possible
// value of the next LookupBitLength() bits (codes are stored bit-reversed, as they arrive
// least significant bit first), so a symbol and the count of its extra bits cost one
// table access. Entry layout:
//   bits 0..15 symbol, bits 16..23 code length, bits 24..31 extra-bit count.
// An index that no code reaches holds kNoCode (symbol 65535, length 255, 255 extra bits).
//
// The decode table is built on its first use: the decode loop's own packed tables come
// from the code list, so most blocks never need the 2^LookupBitLength() entries.
#include <cstdint>
#include <memory>

namespace qelvo::codecs {

enum TArcDfHuffmanUsage { huEncoding, huDecoding, huBoth };

inline constexpr uint32_t kNoCode = 0xFFFFFFFFu;
inline constexpr int kNoExtraBits = 65535;

class TArcDfDecodeHuffmanTree {
 public:
  TArcDfDecodeHuffmanTree(int aAlphabetSize, int aDefMaxCodeLen, TArcDfHuffmanUsage aUsage);
  TArcDfDecodeHuffmanTree(const TArcDfDecodeHuffmanTree&) = delete;
  TArcDfDecodeHuffmanTree& operator=(const TArcDfDecodeHuffmanTree&) = delete;

  // Builds the tables from aCount code lengths starting at aCodeLengths[aStartInx].
  // Symbols from aExtraOffset on carry aExtraBits[symbol - aExtraOffset] extra bits
  // (kNoExtraBits: none do). Over-subscribed lengths overwrite earlier entries and
  // incomplete ones leave kNoCode entries; neither ever writes outside the table.
  void Build(const uint8_t* aCodeLengths, int aStartInx, int aCount, const uint8_t* aExtraBits, int aExtraOffset);

  // Builds the decode table first if this is its first use: a tree shared between threads
  // must have had Decodes() called before it is shared.
  uint32_t Decode(uint32_t aLookupBits) const;
  int LookupBitLength() const { return FMaxCodeLen; }
  // True when the code lengths over-subscribe the code space (a corrupted stream): some
  // entries then hold a later symbol than a shorter code would suggest.
  bool OverSubscribed() const { return FOverSubscribed; }
  // The whole decode table, 2^LookupBitLength() entries.
  const uint32_t* Decodes() const {
    if (!FDecodes) BuildDecodes();
    return FDecodes.get();
  }
  // The codes in canonical order (by length, then by symbol): their decode entries and
  // their bit-reversed codes.
  int CodeCount() const { return FCodeCount; }
  uint32_t CodeEntry(int aIndex) const { return FSymbolEntries[FByLength[aIndex]]; }
  uint32_t CodeReversed(int aIndex) const { return FReversedCodes[FByLength[aIndex]]; }
  // Encode entries (reversed code, length in bits 16..23, extra count in 24..31; -1 for an
  // unused symbol), present unless the usage is huDecoding.
  int32_t Encode(int aSymbol) const { return FEncodes[aSymbol]; }

 private:
  static constexpr int kMaxAlphabet = 288;
  static constexpr int kMaxBits = 15;
  void BuildDecodes() const;

  int FAlphaSize;
  mutable std::unique_ptr<uint32_t[]> FDecodes;
  int FDefMaxCodeLen;
  std::unique_ptr<int32_t[]> FEncodes;
  uint32_t FMask = 0;
  int FMaxCodeLen = 0;
  bool FOverSubscribed = false;
  TArcDfHuffmanUsage FUsage;
  // What Build keeps for the decode table and the packed tables.
  int FSymbolCount = 0;
  int FCodeCount = 0;
  // Per symbol; a symbol without a code has the entry 0.
  uint32_t FSymbolEntries[kMaxAlphabet];
  uint16_t FReversedCodes[kMaxAlphabet];
  // The codes' symbols in canonical order; the second half takes the symbols without one.
  uint16_t FByLength[2 * kMaxAlphabet];
  // Index in FByLength of the first code of each length (1..kMaxBits+1).
  int FFirstOfLength[kMaxBits + 2] = {};
};

// The trees of fixed-Huffman blocks, built on first use and only read afterwards.
const TArcDfDecodeHuffmanTree& FixedLiteralTree();
const TArcDfDecodeHuffmanTree& FixedDistanceTree();

}  // namespace qelvo::codecs

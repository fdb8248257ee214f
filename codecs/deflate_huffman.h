#pragma once
// Table-driven canonical Huffman decoding. The decode table has one entry per possible
// value of the next LookupBitLength() bits (codes are stored bit-reversed, as they arrive
// least significant bit first), so a symbol and the count of its extra bits cost one
// table access. Entry layout:
//   bits 0..15 symbol, bits 16..23 code length, bits 24..31 extra-bit count.
// An index that no code reaches holds kNoCode (symbol 65535, length 255, 255 extra bits).
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

  uint32_t Decode(uint32_t aLookupBits) const;
  int LookupBitLength() const { return FMaxCodeLen; }
  // True when the code lengths over-subscribe the code space (a corrupted stream): some
  // entries then hold a later symbol than a shorter code would suggest.
  bool OverSubscribed() const { return FOverSubscribed; }
  // The whole decode table, 2^LookupBitLength() entries, for the decode loop.
  const uint32_t* Decodes() const { return FDecodes.get(); }
  // Encode entries (reversed code, length in bits 16..23, extra count in 24..31; -1 for an
  // unused symbol), present unless the usage is huDecoding.
  int32_t Encode(int aSymbol) const { return FEncodes[aSymbol]; }

 private:
  int FAlphaSize;
  std::unique_ptr<uint32_t[]> FDecodes;
  int FDefMaxCodeLen;
  std::unique_ptr<int32_t[]> FEncodes;
  uint32_t FMask = 0;
  int FMaxCodeLen = 0;
  bool FOverSubscribed = false;
  TArcDfHuffmanUsage FUsage;
};

// The trees of fixed-Huffman blocks, built on first use and only read afterwards.
const TArcDfDecodeHuffmanTree& FixedLiteralTree();
const TArcDfDecodeHuffmanTree& FixedDistanceTree();

}  // namespace qelvo::codecs

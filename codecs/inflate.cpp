#include "codecs/inflate.h"

#include <algorithm>

#include "rtl/byte_order.h"

namespace qelvo::codecs {
namespace {

// HLIT + HDIST at most, plus the longest repeat that may run past them.
constexpr int kCodeLengthRoom = 286 + 32 + 138;

}  // namespace

void InflateStoredBlock(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow) {
  aBits.AlignToByte();
  uint8_t header[4];
  aBits.ReadBuffer(header, 4);
  const int len = rtl::GetLe16(header);
  const int nlen = rtl::GetLe16(header + 2);
  if (len != (~nlen & 0xFFFF)) throw EArcInternalInflateError(cause::kStoredLength);
  // The pieces go straight into the window's free space, in as few reads as it allows.
  for (int left = len; left > 0;) {
    const int n = std::min(left, aWindow.Room());
    aBits.ReadBuffer(aWindow.Current(), n);
    aWindow.Added(n);
    left -= n;
  }
}

void InflateFixedBlock(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, bool aDeflate64) {
  DecodeData(aBits, aWindow, FixedLiteralTree(), FixedDistanceTree(), aDeflate64);
}

void ReadLitDistCodeLengths(TArcDfInBitStream& aBits, const TArcDfDecodeHuffmanTree& aCodeLengthTree,
                            uint8_t* aLengths, int aCount) {
  const int lookup = aCodeLengthTree.LookupBitLength();
  const uint32_t lookupMask = (1u << lookup) - 1;
  // The whole table, indexed with exactly its own number of bits.
  const uint32_t* const decodes = aCodeLengthTree.Decodes();
  int filled = 0;
  const char* failure = nullptr;
  // Applies the symbol that starts aPeeked (at least lookup + 7 bits) and returns the bits
  // it takes, or 0 after setting `failure`.
  const auto apply = [&](uint32_t aPeeked) -> int {
    const uint32_t entry = decodes[aPeeked & lookupMask];
    const uint32_t symbol = entry & 0xFFFF;
    const int codeLen = static_cast<int>((entry >> 16) & 0xFF);
    if (symbol > 18) {
      failure = cause::kBadCodeLengthSymbol;
      return 0;
    }
    if (codeLen == 0 || codeLen > lookup) {
      failure = cause::kBadCodeLengthLength;
      return 0;
    }
    const uint32_t extra = aPeeked >> codeLen;
    if (symbol < 16) {
      aLengths[filled++] = static_cast<uint8_t>(symbol);
      return codeLen;
    }
    if (symbol == 16) {
      if (filled == 0) {
        failure = cause::kRepeatWithoutLength;
        return 0;
      }
      const int repeat = 3 + static_cast<int>(extra & 3);
      std::fill_n(aLengths + filled, repeat, aLengths[filled - 1]);
      filled += repeat;
      return codeLen + 2;
    }
    const int repeat = symbol == 17 ? 3 + static_cast<int>(extra & 7) : 11 + static_cast<int>(extra & 127);
    std::fill_n(aLengths + filled, repeat, 0);
    filled += repeat;
    return codeLen + (symbol == 17 ? 3 : 7);
  };

  // While whole words are buffered, the bits stay in a register, refilled before each
  // symbol; the rest goes through the reader's peek and discard.
  const TArcDfInBitStream::TBulk bulk = aBits.BeginBulk();
  const uint8_t* in = bulk.Pos;
  uint64_t bitBuf = bulk.BitBuffer;
  uint32_t bitsLeft = static_cast<uint32_t>(bulk.BitsLeft);
  while (filled < aCount && bulk.End - in >= 8) {
    bitBuf |= rtl::GetLe64(in) << bitsLeft;
    in += 7 - ((bitsLeft >> 3) & 7);
    bitsLeft |= 56;
    const int taken = apply(static_cast<uint32_t>(bitBuf));
    if (taken == 0) break;
    bitBuf >>= taken;
    bitsLeft -= static_cast<uint32_t>(taken);
  }
  aBits.EndBulk(TArcDfInBitStream::TBulk{bitBuf, static_cast<int>(bitsLeft), in, bulk.End}, bulk.Pos);
  while (failure == nullptr && filled < aCount) {
    const int taken = apply(aBits.PeekBits(lookup + 7));
    if (taken > 0) aBits.DiscardBits(taken);
  }
  if (failure != nullptr) throw EArcInternalInflateError(failure);
}

void InflateDynamicBlock(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, bool aDeflate64) {
  const int hlit = static_cast<int>(aBits.ReadBits(5)) + 257;
  const int hdist = static_cast<int>(aBits.ReadBits(5)) + 1;
  const int hclen = static_cast<int>(aBits.ReadBits(4)) + 4;
  if (hlit > 286) throw EArcInternalInflateError(cause::kTooManyLiteralCodes);
  if (!aDeflate64 && hdist > 30) throw EArcInternalInflateError(cause::kTooManyDistanceCodes);

  uint8_t codeLengthLengths[19] = {};
  for (int i = 0; i < hclen; ++i) codeLengthLengths[CodeLengthOrder[i]] = static_cast<uint8_t>(aBits.ReadBits(3));
  TArcDfDecodeHuffmanTree codeLengthTree(19, 7, huDecoding);
  codeLengthTree.Build(codeLengthLengths, 0, 19, nullptr, kNoExtraBits);

  uint8_t lengths[kCodeLengthRoom] = {};
  ReadLitDistCodeLengths(aBits, codeLengthTree, lengths, hlit + hdist);

  TArcDfDecodeHuffmanTree literalTree(286, 15, huDecoding);
  literalTree.Build(lengths, 0, hlit, LengthExtraBits, 257);
  TArcDfDecodeHuffmanTree distanceTree(aDeflate64 ? 32 : 30, 15, huDecoding);
  distanceTree.Build(lengths, hlit, hdist, DistanceExtraBits, 0);

  DecodeData(aBits, aWindow, literalTree, distanceTree, aDeflate64);
}

uint32_t Inflate(rtl::TStream* aSource, rtl::TStream* aDest, TArcDeflateHelper* aHelper) {
  rtl::Assert(aSource != nullptr, "Deflate: aSource stream cannot be nil");
  rtl::Assert(aDest != nullptr, "Deflate: aDest stream cannot be nil");

  TArcDeflateHelper helper;
  if (aHelper != nullptr) helper.Assign(*aHelper);
  const int64_t sourceStart = aSource->Position();
  const int64_t destStart = aDest->Position();

  if (!helper.OnProgressStep) {
    helper.StreamSize = 0;
  } else if (helper.StreamSize == -1) {
    helper.StreamSize = aSource->Size();
  }
  const bool deflate64 = (helper.Options & ofDeflate64) != 0;
  const bool testOnly = (helper.Options & ofTestOnly) != 0;
  const bool useCRC32 = (helper.Options & ofAdler32) == 0;

  uint32_t result = 0;
  int64_t produced = 0;
  {
    // Declared in this order so that, when a failure unwinds, the window writes out what
    // it holds before the reader repositions the source.
    TArcDfInBitStream bits(aSource, helper.OnProgressStep, helper.StreamSize);
    TArcDfOutputWindow window(aDest, deflate64, useCRC32, helper.PartialSize, testOnly);
    try {
      bool lastBlock;
      do {
        lastBlock = bits.ReadBit();
        switch (bits.ReadBits(2)) {
          case 0:
            InflateStoredBlock(bits, window);
            break;
          case 1:
            InflateFixedBlock(bits, window, deflate64);
            break;
          case 2:
            InflateDynamicBlock(bits, window, deflate64);
            break;
          default:
            throw EArcInternalInflateError(cause::kInvalidBlockType);
        }
      } while (!lastBlock);
      result = window.Checksum();
    } catch (const EArcPartSizedInflate&) {
      result = 0;
    } catch (const EArcAbortProgress&) {
      result = 0;
    } catch (const EArcInternalInflateError& e) {
      throw EArcInflateError(e.Message());
    }
    produced = window.Position();
    window.Flush();
    bits.RestorePosition();
  }
  if (aHelper != nullptr) {
    aHelper->NormalSize = testOnly ? produced : aDest->Position() - destStart;
    aHelper->CompressedSize = aSource->Position() - sourceStart;
  }
  return result;
}

}  // namespace qelvo::codecs

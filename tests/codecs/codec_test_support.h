#pragma once
// Helpers of the codec tests: zlib's checksums, a bit writer for hand-made Deflate
// streams. The reference compressor, sample data, the ZIP directory reader, folders,
// files, tools and the corpus come from tests/support.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "codecs/inflate.h"
#include "rtl/stream.h"
#include "rtl/view_streams.h"
#include "tests/support/files.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"
#include "tests/support/zip_builder.h"
#include "tests/support/zlib_deflate.h"

namespace qelvo::codecs::test {

using namespace qelvo::test;

using Bytes = std::string;
using rtl::TShortReadStream;

inline uint32_t ZlibCrc32(const Bytes& aData) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(aData.data()), static_cast<uInt>(aData.size())));
}
inline uint32_t ZlibAdler32(const Bytes& aData) {
  return static_cast<uint32_t>(
      adler32(1, reinterpret_cast<const Bytef*>(aData.data()), static_cast<uInt>(aData.size())));
}

inline void Load(rtl::TMemoryStream& aStream, const Bytes& aData) {
  aStream.Clear();
  aStream.WriteString(aData);
  aStream.SetPosition(0);
}

struct InflateRun {
  Bytes Output;
  uint32_t Result = 0;
  TArcDeflateHelper Helper;
  int64_t SourcePosition = 0;
  std::optional<std::string> Cause;  // set when EArcInflateError left Inflate
};

// Inflates aInput from a memory stream; a decoding failure is reported through Cause.
// aReservedRoom is reserved in the destination ahead, so that the decoder writes into it.
inline InflateRun RunInflate(const Bytes& aInput, int32_t aOptions = 0, int64_t aPartialSize = 0,
                             int64_t aReservedRoom = 0) {
  InflateRun run;
  rtl::TMemoryStream source;
  rtl::TMemoryStream dest;
  dest.SetCapacity(aReservedRoom);
  Load(source, aInput);
  run.Helper.Options = aOptions;
  run.Helper.PartialSize = aPartialSize;
  try {
    run.Result = Inflate(&source, &dest, &run.Helper);
  } catch (const EArcInflateError& e) {
    run.Cause = e.InternalCause;
  }
  run.Output = dest.DataString();
  run.SourcePosition = source.Position();
  return run;
}

// Writes bits least significant first, as Deflate stores them.
class BitWriter {
 public:
  void Bits(uint32_t aValue, int aCount) {
    for (int i = 0; i < aCount; ++i) PutBit((aValue >> i) & 1);
  }
  // A Huffman code, sent most significant bit first.
  void Code(uint32_t aCode, int aLength) {
    for (int i = aLength - 1; i >= 0; --i) PutBit((aCode >> i) & 1);
  }
  void AlignToByte() {
    while (FBitCount % 8 != 0) PutBit(0);
  }
  void Byte(uint8_t b) { Bits(b, 8); }
  void Bytes_(const Bytes& aData) {
    for (const char c : aData) Byte(static_cast<uint8_t>(c));
  }
  void BlockHeader(bool aFinal, int aType) {
    Bits(aFinal ? 1 : 0, 1);
    Bits(static_cast<uint32_t>(aType), 2);
  }
  void StoredBlock(bool aFinal, const Bytes& aData) {
    BlockHeader(aFinal, 0);
    AlignToByte();
    const uint32_t len = static_cast<uint32_t>(aData.size());
    Bits(len, 16);
    Bits(~len & 0xFFFF, 16);
    Bytes_(aData);
  }
  Bytes Finish() const { return FOut; }
  size_t BitCount() const { return FBitCount; }

 private:
  void PutBit(uint32_t b) {
    if (FBitCount % 8 == 0) FOut.push_back('\0');
    if (b) FOut.back() = static_cast<char>(FOut.back() | (1 << (FBitCount % 8)));
    ++FBitCount;
  }
  Bytes FOut;
  size_t FBitCount = 0;
};

// Symbol and extra bits of a match length or distance.
struct SymbolExtra {
  int Symbol;
  uint32_t Extra;
  int ExtraBits;
};

inline SymbolExtra LengthSymbol(int aLength, bool aDeflate64) {
  if (!aDeflate64 && aLength == 258) return {285, 0, 0};
  if (aDeflate64 && aLength > 258) return {285, static_cast<uint32_t>(aLength - 3), 16};
  for (int s = 27; s >= 0; --s) {
    if (aLength >= LengthBase[s]) return {257 + s, static_cast<uint32_t>(aLength - LengthBase[s]), LengthExtraBits[s]};
  }
  std::abort();
}

inline SymbolExtra DistanceSymbol(int aDistance) {
  for (int s = 31; s >= 0; --s) {
    if (static_cast<uint32_t>(aDistance) >= DistanceBase[s])
      return {s, aDistance - DistanceBase[s], DistanceExtraBits[s]};
  }
  std::abort();
}

// Canonical codes for a set of code lengths.
inline std::vector<uint32_t> CanonicalCodes(const std::vector<int>& aLengths) {
  int count[17] = {};
  for (const int n : aLengths) ++count[n];
  count[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (int n = 1; n <= 16; ++n) {
    code = (code + count[n - 1]) << 1;
    next[n] = code;
  }
  std::vector<uint32_t> codes(aLengths.size());
  for (size_t i = 0; i < aLengths.size(); ++i)
    if (aLengths[i] > 0) codes[i] = next[aLengths[i]]++;
  return codes;
}

// A Huffman block writer over the fixed code or given code lengths.
class HuffmanBlock {
 public:
  // Fixed code.
  explicit HuffmanBlock(BitWriter& aOut, bool aFinal) : FOut(aOut) {
    FLit.assign(288, 8);
    for (int i = 144; i < 256; ++i) FLit[i] = 9;
    for (int i = 256; i < 280; ++i) FLit[i] = 7;
    FDist.assign(32, 5);
    FLitCodes = CanonicalCodes(FLit);
    FDistCodes = CanonicalCodes(FDist);
    FOut.BlockHeader(aFinal, 1);
  }
  // Dynamic code: the code lengths are sent one by one with a complete code-length code
  // of 4 bits per symbol 0..15; aCodeLengthSymbols, when given, is sent instead as the
  // raw code-length symbol stream (symbol, extra value, extra bits).
  HuffmanBlock(BitWriter& aOut, bool aFinal, std::vector<int> aLit, std::vector<int> aDist,
               const std::vector<SymbolExtra>* aCodeLengthSymbols = nullptr, int aHlitOverride = -1,
               int aHdistOverride = -1)
      : FOut(aOut), FLit(std::move(aLit)), FDist(std::move(aDist)) {
    FLitCodes = CanonicalCodes(FLit);
    FDistCodes = CanonicalCodes(FDist);
    FOut.BlockHeader(aFinal, 2);
    const int hlit = aHlitOverride >= 0 ? aHlitOverride : static_cast<int>(FLit.size());
    const int hdist = aHdistOverride >= 0 ? aHdistOverride : static_cast<int>(FDist.size());
    FOut.Bits(static_cast<uint32_t>(hlit - 257), 5);
    FOut.Bits(static_cast<uint32_t>(hdist - 1), 5);
    FOut.Bits(19 - 4, 4);
    std::vector<int> clLengths(19, 0);
    for (int s = 0; s < 16; ++s) clLengths[s] = 4;
    if (aCodeLengthSymbols != nullptr) {
      for (int s = 0; s < 19; ++s) clLengths[s] = 5;  // 19 symbols of 5 bits: incomplete but usable
    }
    for (int i = 0; i < 19; ++i) FOut.Bits(static_cast<uint32_t>(clLengths[CodeLengthOrder[i]]), 3);
    const std::vector<uint32_t> clCodes = CanonicalCodes(clLengths);
    if (aCodeLengthSymbols != nullptr) {
      for (const SymbolExtra& s : *aCodeLengthSymbols) {
        FOut.Code(clCodes[s.Symbol], clLengths[s.Symbol]);
        FOut.Bits(s.Extra, s.ExtraBits);
      }
    } else {
      for (const int n : FLit) FOut.Code(clCodes[n], 4);
      for (const int n : FDist) FOut.Code(clCodes[n], 4);
    }
  }
  void Symbol(int aSymbol) { FOut.Code(FLitCodes[aSymbol], FLit[aSymbol]); }
  void Literal(uint8_t aCh) { Symbol(aCh); }
  void Literals(const Bytes& aText) {
    for (const char c : aText) Literal(static_cast<uint8_t>(c));
  }
  void Match(int aLength, int aDistance, bool aDeflate64 = false) {
    const SymbolExtra len = LengthSymbol(aLength, aDeflate64);
    Symbol(len.Symbol);
    FOut.Bits(len.Extra, len.ExtraBits);
    DistanceCode(DistanceSymbol(aDistance));
  }
  void DistanceCode(const SymbolExtra& aDist) {
    FOut.Code(FDistCodes[aDist.Symbol], FDist[aDist.Symbol]);
    FOut.Bits(aDist.Extra, aDist.ExtraBits);
  }
  void End() { Symbol(256); }

 private:
  BitWriter& FOut;
  std::vector<int> FLit;
  std::vector<int> FDist;
  std::vector<uint32_t> FLitCodes;
  std::vector<uint32_t> FDistCodes;
};

// Code lengths of a complete code over aCount symbols (a few of length n+1, the rest n).
inline std::vector<int> CompleteLengths(int aCount) {
  int n = 0;
  while ((1 << n) < aCount) ++n;
  // 2^n >= count: symbols at length n-1 and n so that Kraft's sum is exactly 1.
  const int shortCount = (1 << n) - aCount;
  std::vector<int> lengths(aCount, n);
  for (int i = 0; i < shortCount; ++i) lengths[i] = n - 1;
  return lengths;
}

}  // namespace qelvo::codecs::test

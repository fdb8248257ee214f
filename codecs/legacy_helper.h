#pragma once
// TArcUnzipHelper: the decoder of the first-generation ZIP methods, shrink (1), reduce
// (2 to 5) and implode (6). One object serves one item: create it over the compressed
// input and the output, set the item's method, size and implode options, Execute.
//
// The three methods share what lives here: a 4 KiB input buffer read least significant
// bit first, a 32 KiB output buffer, and the match copy of reduce and implode, which
// reads earlier output back from the buffer or, once flushed, through the output writer.
// Each method's state machine is in its own file (legacy_shrink, legacy_reduce,
// legacy_implode).
//
// Hostile data is bounded three ways: nothing is ever written past UnCompressedSize;
// input that ends early ends decoding quietly (the caller's CRC check reports the
// damage); and data the fixed tables cannot hold is refused with EArcZipCorruptedData.
#include <cstdint>
#include <memory>

#include "archive/errors.h"
#include "archive/zip_records.h"
#include "codecs/shannon_fano.h"
#include "rtl/stream.h"

namespace qelvo::codecs {

class TArcUnzipHelper {
 public:
  static constexpr int32_t kInBufSize = 4096;
  static constexpr int32_t kOutBufSize = 32768;

  // Neither stream is owned. The output writer starts as the output stream itself.
  TArcUnzipHelper(rtl::TStream* aInputStream, rtl::TStream* aOutputStream);
  TArcUnzipHelper(const TArcUnzipHelper&) = delete;
  TArcUnzipHelper& operator=(const TArcUnzipHelper&) = delete;

  // Reduce and implode copy from up to 8192 bytes back; once those bytes have left the
  // output buffer they are read back through the writer, which must then allow seeking
  // back that far and reading (a sliding window over the real output, or a memory
  // stream). Shrink never reads back. The writer's position at Execute is the item's
  // first byte.
  void SetOutWriter(rtl::TStream* aWriter) { FOutWriter = aWriter; }

  // Bytes the item declares; decoding stops there whatever the data says.
  int64_t UnCompressedSize = 0;
  uint8_t CompressionMethod = 8;
  archive::TArcZipDictionarySize DictionarySize = archive::dsInvalid;
  uint8_t ShannonFanoTreeCount = 0;

  // Decodes the whole item. Everything produced is handed to the writer, also when an
  // exception leaves. An unknown method raises EArcZipInvalidMethod.
  void Execute();

  // Bytes produced so far.
  int64_t Produced() const { return FOutSent + FOutPos; }

 private:
  void ExpandShrunk();
  void ExpandReduced();
  void ExpandImploded();
  // Reads the description of a tree of aCount values and builds it.
  void LoadShannonFanoTree(TArcShannonFanoTree& aTree, int aCount);
  uint8_t DecodeShannonFano(const TArcShannonFanoTree& aTree) {
    const TArcShannonFanoTree::TEntry entry = aTree.Decode(PeekBits(aTree.MaxLength()));
    DropBits(entry.Length);
    return entry.Value;
  }

  // Input. Bits past the end of the data read as zero and set FInEof once consumed.
  void FillInput();
  uint32_t PeekBits(int aCount) {
    if (FBitCount < aCount) NeedBits(aCount);
    return static_cast<uint32_t>(FBitBuf) & ((1u << aCount) - 1);
  }
  void DropBits(int aCount) {
    if (aCount > FBitCount) {
      FInEof = true;
      FBitBuf = 0;
      FBitCount = 0;
      return;
    }
    FBitBuf >>= aCount;
    FBitCount -= aCount;
  }
  uint32_t GetBits(int aCount) {
    const uint32_t bits = PeekBits(aCount);
    DropBits(aCount);
    return bits;
  }
  void NeedBits(int aCount);

  // Output. Full() once UnCompressedSize bytes exist; later bytes are dropped.
  bool Full() const { return FOutSent + FOutPos >= UnCompressedSize; }
  void PutByte(uint8_t aByte) {
    if (Full()) return;
    FOutBuf[FOutPos++] = aByte;
    if (FOutPos == kOutBufSize || Full()) FlushOutput();
  }
  void FlushOutput();
  // Appends aLength bytes copied from aDistance bytes back (1 = the last byte); bytes
  // before the item's first byte read as zero.
  void CopyMatch(int64_t aDistance, int64_t aLength);
  void CopyFromWriter(int64_t aFrom, int32_t aCount);

  rtl::TStream* FOutWriter;
  rtl::TStream* FOutStream;
  rtl::TStream* FZStream;
  int64_t FWriterStart = 0;
  std::unique_ptr<uint8_t[]> FOutBuf;
  int64_t FOutSent = 0;
  int32_t FOutPos = 0;
  std::unique_ptr<uint8_t[]> FInBuf;
  int32_t FInPos = 0;
  int32_t FInCnt = 0;
  bool FInEof = false;
  uint64_t FBitBuf = 0;
  int FBitCount = 0;
};

}  // namespace qelvo::codecs

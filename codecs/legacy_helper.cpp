#include "codecs/legacy_helper.h"

#include <algorithm>
#include <cstring>

#include "rtl/byte_order.h"

namespace qelvo::codecs {

TArcUnzipHelper::TArcUnzipHelper(rtl::TStream* aInputStream, rtl::TStream* aOutputStream)
    : FOutWriter(aOutputStream),
      FOutStream(aOutputStream),
      FZStream(aInputStream),
      FOutBuf(std::make_unique<uint8_t[]>(kOutBufSize)),
      FInBuf(std::make_unique<uint8_t[]>(kInBufSize)) {
  rtl::Assert(aInputStream != nullptr, "TArcUnzipHelper: the input stream cannot be nil");
  rtl::Assert(aOutputStream != nullptr, "TArcUnzipHelper: the output stream cannot be nil");
}

void TArcUnzipHelper::Execute() {
  FInPos = 0;
  FInCnt = 0;
  FInEof = false;
  FBitBuf = 0;
  FBitCount = 0;
  FOutSent = 0;
  FOutPos = 0;
  FWriterStart = FOutWriter->Position();
  try {
    switch (CompressionMethod) {
      case 1: ExpandShrunk(); break;
      case 2:
      case 3:
      case 4:
      case 5: ExpandReduced(); break;
      case 6: ExpandImploded(); break;
      default: throw archive::EArcZipInvalidMethod();
    }
  } catch (...) {
    // What was decoded still goes out; the first failure is the one reported.
    try {
      FlushOutput();
    } catch (...) {
    }
    throw;
  }
  FlushOutput();
}

void TArcUnzipHelper::FillInput() {
  const int64_t got = FZStream->Read(FInBuf.get(), kInBufSize);
  FInCnt = static_cast<int32_t>(std::max<int64_t>(got, 0));
  FInPos = 0;
}

void TArcUnzipHelper::NeedBits(int aCount) {
  if (FInCnt - FInPos >= 8) {
    // Whole bytes up to a full accumulator in one load.
    FBitBuf |= rtl::GetLe64(FInBuf.get() + FInPos) << FBitCount;
    FInPos += (63 - FBitCount) >> 3;
    FBitCount |= 56;
    return;
  }
  while (FBitCount < aCount) {
    if (FInPos >= FInCnt) {
      FillInput();
      if (FInCnt == 0) return;  // the missing bits stay zero
    }
    // Take what the buffer has, up to a full accumulator, so that most calls find
    // their bits without coming here.
    while (FBitCount <= 56 && FInPos < FInCnt) {
      FBitBuf |= uint64_t{FInBuf[FInPos++]} << FBitCount;
      FBitCount += 8;
    }
  }
}

void TArcUnzipHelper::FlushOutput() {
  if (FOutPos == 0) return;
  // Counted before writing, so that a writer failure does not send the bytes twice.
  const int32_t count = FOutPos;
  FOutPos = 0;
  FOutSent += count;
  FOutWriter->WriteBuffer(FOutBuf.get(), count);
}

void TArcUnzipHelper::CopyFromWriter(int64_t aFrom, int32_t aCount) {
  uint8_t bytes[8192];
  const int64_t end = FWriterStart + FOutSent;
  FOutWriter->Seek(FWriterStart + aFrom, rtl::soBeginning);
  FOutWriter->ReadBuffer(bytes, aCount);
  FOutWriter->Seek(end, rtl::soBeginning);
  for (int32_t i = 0; i < aCount && !Full(); ++i) PutByte(bytes[i]);
}

void TArcUnzipHelper::CopyMatch(int64_t aDistance, int64_t aLength) {
  while (aLength > 0 && !Full()) {
    const int64_t from = Produced() - aDistance;
    if (from < 0) {
      const int64_t zeros = std::min(aLength, -from);
      for (int64_t i = 0; i < zeros && !Full(); ++i) PutByte(0);
      aLength -= zeros;
    } else if (from < FOutSent) {
      // Already handed to the writer: one read for the whole run that lies there.
      const auto count = static_cast<int32_t>(std::min<int64_t>({aLength, FOutSent - from, 8192}));
      CopyFromWriter(from, count);
      aLength -= count;
    } else {
      // Inside the buffer; byte by byte where source and target overlap. In pieces that
      // neither fill the buffer nor pass the declared size.
      const int64_t room = std::min<int64_t>(kOutBufSize - FOutPos, UnCompressedSize - Produced());
      const auto count = static_cast<int32_t>(std::min(aLength, room));
      uint8_t* out = FOutBuf.get() + FOutPos;
      const uint8_t* in = FOutBuf.get() + (from - FOutSent);
      if (aDistance >= count)
        std::memcpy(out, in, static_cast<size_t>(count));
      else
        for (int32_t i = 0; i < count; ++i) out[i] = in[i];
      FOutPos += count;
      aLength -= count;
      if (FOutPos == kOutBufSize || Full()) FlushOutput();
    }
  }
}

}  // namespace qelvo::codecs

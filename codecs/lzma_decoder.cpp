#include "codecs/lzma_decoder.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "rtl/byte_order.h"

// The SDK's header in a namespace of its own: its type names (Byte, ISzAlloc, ...) are
// common words, and other SDK copies in the program define them differently.
namespace qelvo::codecs::lzma_sdk {
#include QELVO_LZMA_DEC_H
}

namespace qelvo::codecs {

namespace {

using namespace lzma_sdk;

constexpr SizeT kBufferSize = 65536;
constexpr SizeT kDictionaryMin = 4096;        // the SDK's smallest dictionary
constexpr SizeT kFirstDictionaryBuffer = 65536;

void* SdkAlloc(void*, size_t size) { return std::malloc(size); }
void SdkFree(void*, void* address) { std::free(address); }
ISzAlloc gSdkAllocator = {SdkAlloc, SdkFree};

// The SDK decoder with a dictionary buffer that grows with the output instead of being
// allocated at the size the properties claim (up to 4 GiB). The buffer grows only while
// nothing has wrapped around in it, so every back-reference still finds its bytes at
// the same distance; once it has reached the window (the dictionary size, or the
// expected size when that is smaller) it wraps like the SDK's own buffer. The SDK's
// one-call decoder uses an output-sized dictionary the same way.
class TLzmaDecoder {
 public:
  TLzmaDecoder() { LzmaDec_Construct(&FState); }
  ~TLzmaDecoder() {
    LzmaDec_FreeProbs(&FState, &gSdkAllocator);
    std::free(FState.dic);
  }
  TLzmaDecoder(const TLzmaDecoder&) = delete;
  TLzmaDecoder& operator=(const TLzmaDecoder&) = delete;

  SRes Setup(const uint8_t* aProperties, unsigned aPropertiesSize, int64_t aExpected) {
    const SRes res = LzmaDec_AllocateProbs(&FState, aProperties, aPropertiesSize, &gSdkAllocator);
    if (res != SZ_OK) return res;
    FWindow = std::max<SizeT>(FState.prop.dicSize, kDictionaryMin);
    if (aExpected >= 0 && static_cast<uint64_t>(aExpected) < FWindow)
      FWindow = std::max<SizeT>(static_cast<SizeT>(aExpected), kDictionaryMin);
    FState.dic = nullptr;
    FState.dicBufSize = 0;
    LzmaDec_Init(&FState);
    return SZ_OK;
  }

  // LzmaDec_DecodeToBuf's contract, over the growing dictionary.
  SRes DecodeToBuf(Byte* aDest, SizeT* aDestLen, const Byte* aSrc, SizeT* aSrcLen, ELzmaFinishMode aFinishMode,
                   ELzmaStatus* aStatus) {
    SizeT outSize = *aDestLen;
    SizeT inSize = *aSrcLen;
    *aSrcLen = *aDestLen = 0;
    for (;;) {
      if (FState.dicPos == FState.dicBufSize) {
        if (FState.dicBufSize < FWindow) {
          if (!Grow()) return SZ_ERROR_MEM;
        } else {
          FState.dicPos = 0;
        }
      }
      const SizeT dicPos = FState.dicPos;
      SizeT dicLimit;
      ELzmaFinishMode finishMode;
      if (outSize > FState.dicBufSize - dicPos) {
        dicLimit = FState.dicBufSize;
        finishMode = LZMA_FINISH_ANY;
      } else {
        dicLimit = dicPos + outSize;
        finishMode = aFinishMode;
      }
      SizeT inCur = inSize;
      const SRes res = LzmaDec_DecodeToDic(&FState, dicLimit, aSrc, &inCur, finishMode, aStatus);
      aSrc += inCur;
      inSize -= inCur;
      *aSrcLen += inCur;
      const SizeT produced = FState.dicPos - dicPos;
      std::memcpy(aDest, FState.dic + dicPos, produced);
      aDest += produced;
      outSize -= produced;
      *aDestLen += produced;
      if (res != SZ_OK) return res;
      if (produced == 0 || outSize == 0) return SZ_OK;
    }
  }

 private:
  bool Grow() {
    const SizeT size = std::min(FWindow, std::max(kFirstDictionaryBuffer, 2 * FState.dicBufSize));
    auto* grown = static_cast<Byte*>(std::realloc(FState.dic, size));
    if (grown == nullptr) return false;
    FState.dic = grown;
    FState.dicBufSize = size;
    return true;
  }

  CLzmaDec FState;
  SizeT FWindow = kDictionaryMin;
};

SRes RunDecoder(TLzmaDecoder& aDecoder, rtl::TStream& aSource, int64_t aExpected, rtl::TStream& aDest) {
  const bool known = aExpected != kLzmaUnknownSize;
  auto inBuffer = std::make_unique<Byte[]>(kBufferSize);
  auto outBuffer = std::make_unique<Byte[]>(kBufferSize);
  SizeT inPos = 0;
  SizeT inSize = 0;
  int64_t remaining = aExpected;
  SRes res = SZ_OK;
  for (;;) {
    if (inPos == inSize) {
      const int64_t got = aSource.Read(inBuffer.get(), kBufferSize);
      if (got <= 0) return res;  // data that ends early is left to the CRC check
      inSize = static_cast<SizeT>(got);
      inPos = 0;
    }
    SizeT outProcessed = kBufferSize;
    ELzmaFinishMode finishMode = LZMA_FINISH_ANY;
    if (known && remaining < static_cast<int64_t>(kBufferSize)) {
      outProcessed = static_cast<SizeT>(remaining);
      finishMode = LZMA_FINISH_END;
    }
    SizeT inProcessed = inSize - inPos;
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    res = aDecoder.DecodeToBuf(outBuffer.get(), &outProcessed, inBuffer.get() + inPos, &inProcessed, finishMode,
                               &status);
    inPos += inProcessed;
    if (known) remaining -= static_cast<int64_t>(outProcessed);
    if (aDest.Write(outBuffer.get(), static_cast<int64_t>(outProcessed)) != static_cast<int64_t>(outProcessed))
      res = SZ_ERROR_WRITE;
    if (res != SZ_OK) return res;
    if (known && remaining == 0) return SZ_OK;
    if (inProcessed == 0 && outProcessed == 0)
      return !known && status == LZMA_STATUS_FINISHED_WITH_MARK ? SZ_OK : SZ_ERROR_DATA;
  }
}

}  // namespace

std::string LzmaStatusMessage(int aStatus) {
  switch (aStatus) {
    case lzsDataError: return "LZMA Data Error.";
    case lzsMemoryError: return "LZMA Memory Error.";
    case lzsCrcError: return "LZMA CRC Error.";
    case lzsUnsupported: return "LZMA \"Unsupported\" Error.";
    case lzsParameterError: return "LZMA Parameter Error.";
    case lzsInputEOF: return "LZMA Input EOF Error.";
    case lzsOutputEOF: return "LZMA Output EOF Error.";
    case lzsReadError: return "LZMA Read Error.";
    case lzsWriteError: return "LZMA Write Error.";
    case lzsProgressError: return "LZMA Progress Error.";
    case lzsFail: return "LZMA \"Fail\" Error.";
    case lzsThreadError: return "LZMA Thread Error.";
    case lzsArchiveError: return "LZMA Archive Error.";
    case lzsNoArchive: return "LZMA \"No Archive\" Error.";
  }
  return "Unknown LZMA error (" + std::to_string(aStatus) + ")";
}

EArcLZMAException::EArcLZMAException(int aStatus) : rtl::Exception(LzmaStatusMessage(aStatus)), Status(aStatus) {}

void DecodeLzmaStream(const uint8_t* aProperties, unsigned aPropertiesSize, rtl::TStream& aSource,
                      int64_t aUncompressedSize, rtl::TStream& aDest) {
  TLzmaDecoder decoder;
  SRes res = decoder.Setup(aProperties, aPropertiesSize, aUncompressedSize);
  if (res == SZ_OK) res = RunDecoder(decoder, aSource, aUncompressedSize, aDest);
  if (res != SZ_OK) throw EArcLZMAException(res);
}

void DecompressLzmaItem(rtl::TStream& aSource, int64_t aUncompressedSize, rtl::TStream& aDest) {
  uint8_t header[4];
  aSource.ReadBuffer(header, sizeof header);  // SDK major and minor version, not checked
  const uint16_t propertiesSize = rtl::GetLe16(header + 2);
  auto properties = std::make_unique<uint8_t[]>(std::max<size_t>(propertiesSize, 1));
  aSource.ReadBuffer(properties.get(), propertiesSize);
  DecodeLzmaStream(properties.get(), propertiesSize, aSource, aUncompressedSize, aDest);
}

}  // namespace qelvo::codecs

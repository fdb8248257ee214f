#include "codecs/ppmd_decoder.h"

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "archive/errors.h"
#include "rtl/byte_order.h"

// The 7zip sources' header in a namespace of its own: its type names (Byte, ISzAlloc,
// ...) are common words, and the LZMA SDK defines some of them differently.
namespace qelvo::codecs::ppmd_sdk {
#include QELVO_PPMD8_H
}

namespace qelvo::codecs {

namespace {

using namespace ppmd_sdk;

constexpr int64_t kInputBufferSize = 4098;
constexpr int64_t kOutputBufferSize = 4096;

void* SdkAlloc(ISzAllocPtr, size_t size) { return std::malloc(size); }
void SdkFree(ISzAllocPtr, void* address) { std::free(address); }
const ISzAlloc gSdkAllocator = {SdkAlloc, SdkFree};

// The decoder's byte source. The decoder cannot take an exception through its own
// frames, so running dry is recorded, answered with zeros, and raised by the caller
// once the decoder returns (before anything it decoded from those zeros is kept).
struct TByteReader;
struct TByteIn {
  IByteIn Vtbl;  // first member: the decoder hands back a pointer to it
  TByteReader* Owner;
};

struct TByteReader {
  TByteIn In;
  rtl::TStream* Source;
  int64_t Pos = 0;
  int64_t Size = 0;
  bool Exhausted = false;
  uint8_t Buffer[kInputBufferSize];

  explicit TByteReader(rtl::TStream* aSource) : In{{&ReadByte}, this}, Source(aSource) {}

  static Byte ReadByte(IByteInPtr aIn) {
    TByteReader* self = reinterpret_cast<const TByteIn*>(aIn)->Owner;
    if (self->Pos < self->Size) return self->Buffer[self->Pos++];
    return self->Refill();
  }

  Byte Refill() {
    if (Exhausted) return 0;
    try {
      Size = Source->Read(Buffer, kInputBufferSize);
    } catch (...) {
      Failure = std::current_exception();
      Size = 0;
    }
    Pos = 0;
    if (Size <= 0) {
      Size = 0;
      Exhausted = true;
      return 0;
    }
    return Buffer[Pos++];
  }

  // Raises what happened while the decoder was reading: the source's own failure, or
  // EArcReadError when it simply had no more bytes.
  void Check() const {
    if (!Exhausted) return;
    if (Failure) std::rethrow_exception(Failure);
    throw archive::EArcReadError();
  }

  std::exception_ptr Failure;
};

class TPPMdModel {
 public:
  TPPMdModel() { Ppmd8_Construct(&FModel); }
  ~TPPMdModel() { Ppmd8_Free(&FModel, &gSdkAllocator); }
  TPPMdModel(const TPPMdModel&) = delete;
  TPPMdModel& operator=(const TPPMdModel&) = delete;

  CPpmd8* operator->() { return &FModel; }
  CPpmd8* Get() { return &FModel; }

 private:
  CPpmd8 FModel;
};

}  // namespace

TPPMdParameters DecodePPMdParameters(uint16_t aWord) {
  return {static_cast<unsigned>(aWord & 15) + 1, static_cast<uint32_t>(((aWord >> 4) & 0xFF) + 1) << 20,
          static_cast<unsigned>(aWord >> 12)};
}

void DecompressPPMdItem(rtl::TStream& aSource, rtl::TStream& aDest) {
  uint8_t word[2];
  for (int64_t got = 0; got < 2;) {
    const int64_t n = aSource.Read(word + got, 2 - got);
    if (n <= 0) throw archive::EArcReadError();
    got += n;
  }
  const TPPMdParameters params = DecodePPMdParameters(rtl::GetLe16(word));
  if (params.ModelOrder < PPMD8_MIN_ORDER)
    throw EArcPPMdError("PPMd data error: model order " + std::to_string(params.ModelOrder) + " is not valid");

  TPPMdModel model;
  if (!Ppmd8_Alloc(model.Get(), params.MemorySize, &gSdkAllocator)) throw rtl::EOutOfMemory();
  auto reader = std::make_unique<TByteReader>(&aSource);
  model->Stream.In = &reader->In.Vtbl;
  const bool started = Ppmd8_Init_RangeDec(model.Get());
  reader->Check();
  // A first code word of all ones is damaged data: nothing decodes, the CRC check says so.
  if (!started) return;
  Ppmd8_Init(model.Get(), params.ModelOrder, params.RestoreMethod);

  auto output = std::make_unique<uint8_t[]>(kOutputBufferSize);
  int64_t filled = 0;
  for (;;) {
    const int symbol = Ppmd8_DecodeSymbol(model.Get());
    reader->Check();
    if (symbol < 0) break;  // end mark or data error
    output[filled++] = static_cast<uint8_t>(symbol);
    if (filled == kOutputBufferSize) {
      aDest.WriteBuffer(output.get(), filled);
      filled = 0;
    }
  }
  aDest.WriteBuffer(output.get(), filled);
}

}  // namespace qelvo::codecs

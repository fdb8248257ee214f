#include "codecs/wavpack_decoder.h"

#include <wavpack/wavpack.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "rtl/byte_order.h"

namespace qelvo::codecs {

namespace {

constexpr const char* kOpenFailed = "WavPack decompression failed: ";
constexpr size_t kLibraryErrorSize = 80;

// The library's view of the item data. Its callbacks run inside the library, which
// cannot take an exception through its frames: a failure of the source (or a second
// push-back without a read, which the library never does) is recorded, answered as
// the end of the data, and raised by Check once the library call has returned.
class TWavPackSource {
 public:
  explicit TWavPackSource(rtl::TStream* aStream) : FStream(aStream) {}

  static WavpackStreamReader64* Reader() {
    static WavpackStreamReader64 reader = {
        &ReadBytes, nullptr, &GetPos, &SetPosAbs, &SetPosRel, &PushBackByte, &GetLength, &CanSeek, nullptr, nullptr,
    };
    return &reader;
  }

  void Check() const {
    if (FFailure) std::rethrow_exception(FFailure);
  }

 private:
  static TWavPackSource* Self(void* aId) { return static_cast<TWavPackSource*>(aId); }

  template <typename F>
  auto Guard(F aCall, decltype(aCall()) aOnFailure) -> decltype(aCall()) {
    if (FFailure) return aOnFailure;
    try {
      return aCall();
    } catch (...) {
      FFailure = std::current_exception();
      return aOnFailure;
    }
  }

  static int32_t ReadBytes(void* aId, void* aData, int32_t aCount) {
    TWavPackSource* self = Self(aId);
    return self->Guard(
        [&]() -> int32_t {
          if (aCount <= 0) return 0;
          auto* out = static_cast<uint8_t*>(aData);
          int32_t done = 0;
          if (self->FPushedBack >= 0) {
            *out++ = static_cast<uint8_t>(self->FPushedBack);
            self->FPushedBack = -1;
            ++done;
          }
          while (done < aCount) {
            const int64_t n = self->FStream->Read(out, aCount - done);
            if (n <= 0) break;
            out += n;
            done += static_cast<int32_t>(n);
          }
          return done;
        },
        0);
  }

  static int64_t GetPos(void* aId) {
    TWavPackSource* self = Self(aId);
    return self->Guard([&]() -> int64_t { return self->FStream->Position() - (self->FPushedBack >= 0 ? 1 : 0); },
                       int64_t{-1});
  }

  static int SetPosAbs(void* aId, int64_t aPos) { return SetPosRel(aId, aPos, SEEK_SET); }

  static int SetPosRel(void* aId, int64_t aDelta, int aMode) {
    TWavPackSource* self = Self(aId);
    return self->Guard(
        [&]() -> int {
          rtl::TSeekOrigin origin;
          switch (aMode) {
            case SEEK_SET: origin = rtl::soBeginning; break;
            case SEEK_CUR:
              origin = rtl::soCurrent;
              if (self->FPushedBack >= 0) --aDelta;  // the pushed-back byte counts as unread
              break;
            case SEEK_END: origin = rtl::soEnd; break;
            default: return -1;
          }
          self->FPushedBack = -1;
          self->FStream->Seek(aDelta, origin);
          return 0;
        },
        -1);
  }

  static int PushBackByte(void* aId, int aByte) {
    TWavPackSource* self = Self(aId);
    return self->Guard(
        [&]() -> int {
          rtl::Assert(self->FPushedBack < 0, "Assertion failure");
          self->FPushedBack = aByte & 0xFF;
          return aByte;
        },
        EOF);
  }

  static int64_t GetLength(void* aId) {
    TWavPackSource* self = Self(aId);
    return self->Guard([&]() -> int64_t { return self->FStream->Size(); }, int64_t{0});
  }

  static int CanSeek(void*) { return 1; }

  rtl::TStream* FStream;
  int FPushedBack = -1;
  std::exception_ptr FFailure;
};

struct TWavPackCloser {
  void operator()(WavpackContext* aContext) const { WavpackCloseFile(aContext); }
};
using TWavPackContextPtr = std::unique_ptr<WavpackContext, TWavPackCloser>;

// Writes the header or trailer bytes the library holds, and lets it release them;
// answers how many there were.
uint32_t WriteWrapper(WavpackContext* aContext, rtl::TStream& aDest) {
  const uint32_t bytes = WavpackGetWrapperBytes(aContext);
  if (bytes == 0) return 0;
  aDest.WriteBuffer(WavpackGetWrapperData(aContext), bytes);
  WavpackFreeWrapper(aContext);
  return bytes;
}

// The file size a RIFF/WAVE header declares; 0 for any other wrapper.
int64_t DeclaredRiffSize(WavpackContext* aContext) {
  const uint32_t bytes = WavpackGetWrapperBytes(aContext);
  const unsigned char* header = WavpackGetWrapperData(aContext);
  if (bytes < 12 || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) return 0;
  return int64_t{rtl::GetLe32(header + 4)} + 8;
}

}  // namespace

void PackWavPackSamples(const int32_t* aSamples, size_t aCount, int aBytesPerSample, uint8_t* aDest) {
  switch (aBytesPerSample) {
    case 1:
      for (size_t i = 0; i < aCount; ++i) *aDest++ = static_cast<uint8_t>(aSamples[i] + 128);
      break;
    case 2:
      for (size_t i = 0; i < aCount; ++i) {
        const auto v = static_cast<uint32_t>(aSamples[i]);
        *aDest++ = static_cast<uint8_t>(v);
        *aDest++ = static_cast<uint8_t>(v >> 8);
      }
      break;
    case 3:
      for (size_t i = 0; i < aCount; ++i) {
        const auto v = static_cast<uint32_t>(aSamples[i]);
        *aDest++ = static_cast<uint8_t>(v);
        *aDest++ = static_cast<uint8_t>(v >> 8);
        *aDest++ = static_cast<uint8_t>(v >> 16);
      }
      break;
    default:
      for (size_t i = 0; i < aCount; ++i) {
        const auto v = static_cast<uint32_t>(aSamples[i]);
        for (int b = 0; b < 4; ++b) *aDest++ = static_cast<uint8_t>(v >> (8 * b));
      }
      break;
  }
}

void DecompressWavPackItem(rtl::TStream& aSource, rtl::TStream& aDest) {
  TWavPackSource source(&aSource);
  char error[kLibraryErrorSize + 1] = {};
  TWavPackContextPtr context(
      WavpackOpenFileInputEx64(TWavPackSource::Reader(), &source, nullptr, error, OPEN_WRAPPER, 0));
  source.Check();
  if (!context) throw rtl::Exception(kOpenFailed + std::string(error, strnlen(error, kLibraryErrorSize)));

  const int channels = WavpackGetNumChannels(context.get());
  const int bytesPerSample = WavpackGetBytesPerSample(context.get());
  const int64_t frameBytes = int64_t{channels} * bytesPerSample;
  if (channels <= 0 || bytesPerSample < 1 || bytesPerSample > 4 || frameBytes > kWavPackOutputBufferSize)
    throw rtl::Exception(kOpenFailed + std::string("unsupported sample format"));

  const int64_t declaredSize = DeclaredRiffSize(context.get());
  const int64_t headerBytes = WriteWrapper(context.get(), aDest);
  int64_t written = headerBytes;

  // A call never asks for more frames than fit into the output buffer, so the sample
  // buffer holds at most one output buffer's worth of values, whatever the channels.
  const int64_t maxFrames = std::min<int64_t>(kWavPackFramesPerCall, kWavPackOutputBufferSize / frameBytes);
  auto samples = std::make_unique<int32_t[]>(static_cast<size_t>(maxFrames * channels));
  auto output = std::make_unique<uint8_t[]>(kWavPackOutputBufferSize);
  int64_t filled = 0;
  for (;;) {
    const int64_t frames = std::min(maxFrames, (kWavPackOutputBufferSize - filled) / frameBytes);
    const uint32_t got = WavpackUnpackSamples(context.get(), samples.get(), static_cast<uint32_t>(frames));
    source.Check();
    PackWavPackSamples(samples.get(), size_t{got} * channels, bytesPerSample, output.get() + filled);
    filled += got * frameBytes;
    if (got == 0 || kWavPackOutputBufferSize - filled < frameBytes) {
      aDest.WriteBuffer(output.get(), filled);
      written += filled;
      filled = 0;
    }
    if (got == 0) break;
  }

  // WavPack keeps the samples, not the pad byte that follows an odd-sized data chunk;
  // when the header says the file holds one byte more than header, samples and
  // trailer, that byte is the pad, and it comes before the trailer.
  const int64_t sampleBytes = written - headerBytes;
  if (sampleBytes % 2 != 0 && written + 1 + WavpackGetWrapperBytes(context.get()) == declaredSize) {
    aDest.WriteBuffer("", 1);
    ++written;
  }

  // Trailing chunks of the original file come out once the last block has been read.
  while (WriteWrapper(context.get(), aDest) != 0) {
    WavpackUnpackSamples(context.get(), samples.get(), 1);
    source.Check();
  }
}

}  // namespace qelvo::codecs

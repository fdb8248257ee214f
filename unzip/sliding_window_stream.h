#pragma once
// TArcSlidingWindowStream: an output stream for the legacy decoders, which copy earlier
// output back as they decode. The most recent 32 KiB stay in memory in five 8 KiB
// chunks; chunk 4 is the one being filled, and each time it fills the window slides:
// chunk 0 goes out to the real output at its logical position and its buffer becomes
// the new chunk 4. Only positions inside the window can be sought to and read back,
// and writes are accepted only at the end.
#include <array>
#include <cstdint>
#include <memory>

#include "rtl/stream.h"

namespace qelvo::unzip {

class TArcSlidingWindowStream : public rtl::TStream {
 public:
  static constexpr int32_t kChunkSize = 8192;
  static constexpr int32_t kChunkCount = 5;
  static constexpr int32_t kWindowSize = kChunkSize * (kChunkCount - 1);  // 32768

  // aStream is the real output (not owned). Logical position 0 is where it stands now,
  // so that a caller's stream is appended to, not overwritten from its start.
  explicit TArcSlidingWindowStream(rtl::TStream* aStream);
  // Flushes when dirty; a failure there is swallowed, so callers that care call Flush.
  ~TArcSlidingWindowStream() override;
  TArcSlidingWindowStream(const TArcSlidingWindowStream&) = delete;
  TArcSlidingWindowStream& operator=(const TArcSlidingWindowStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
  int64_t Size() override { return bsSize; }
  // Writes every chunk at a non-negative position to the real output.
  void Flush();

 private:
  using TChunk = std::array<uint8_t, kChunkSize>;
  void bsWriteChunk(int32_t index);
  void bsSlide();

  std::array<std::unique_ptr<TChunk>, kChunkCount> bsChunks;
  int64_t bsBufferStart = -kWindowSize;  // logical position of chunk 0
  int32_t bsLastPos = 0;                 // bytes used in chunk 4
  int32_t bsCurChunk = kChunkCount - 1;
  int32_t bsPosInChunk = 0;
  int32_t bsPosInBuffer = kWindowSize;   // position relative to bsBufferStart
  int64_t bsSize = 0;
  bool bsDirty = false;
  rtl::TStream* bsStream;
  int64_t bsOrigin;  // the real output's position of logical position 0
};

}  // namespace qelvo::unzip

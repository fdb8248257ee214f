#include "unzip/sliding_window_stream.h"

#include <algorithm>
#include <cstring>

namespace qelvo::unzip {

TArcSlidingWindowStream::TArcSlidingWindowStream(rtl::TStream* aStream)
    : bsStream(aStream), bsOrigin(aStream->Position()) {
  for (auto& chunk : bsChunks) chunk = std::make_unique<TChunk>(TChunk{});
}

TArcSlidingWindowStream::~TArcSlidingWindowStream() {
  if (!bsDirty) return;
  try {
    Flush();
  } catch (...) {
    // Destruction must not throw; the decoder flushes explicitly to see the failure.
  }
}

void TArcSlidingWindowStream::bsWriteChunk(int32_t index) {
  const int64_t logical = bsBufferStart + int64_t{index} * kChunkSize;
  if (logical < 0) return;
  const int64_t pos = bsOrigin + logical;
  if (bsStream->Seek(pos, rtl::soBeginning) != pos)
    throw Exception("TArcSlidingWindowStream.bsWriteChunk: seek failed");
  const int32_t len = index == kChunkCount - 1 ? bsLastPos : kChunkSize;
  if (len > 0 && bsStream->Write(bsChunks[index]->data(), len) != len)
    throw Exception("TArcSlidingWindowStream.bsWriteChunk: write failed");
}

void TArcSlidingWindowStream::bsSlide() {
  bsWriteChunk(0);
  std::rotate(bsChunks.begin(), bsChunks.begin() + 1, bsChunks.end());
  bsBufferStart += kChunkSize;
  bsPosInChunk = 0;
  bsLastPos = 0;
  bsPosInBuffer = kWindowSize;
}

int64_t TArcSlidingWindowStream::Write(const void* buffer, int64_t count) {
  if (bsBufferStart + bsPosInBuffer != bsSize)
    throw Exception("TArcSlidingWindowStream.Write: Not at end of stream");
  count = std::min<int64_t>(count, kWindowSize);
  if (count <= 0) return 0;
  const auto* src = static_cast<const uint8_t*>(buffer);
  int64_t left = count;
  while (left > 0) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(left, kChunkSize - bsPosInChunk));
    std::memcpy(bsChunks[kChunkCount - 1]->data() + bsPosInChunk, src, static_cast<size_t>(n));
    src += n;
    left -= n;
    bsPosInChunk += n;
    bsLastPos = bsPosInChunk;
    bsDirty = true;
    if (bsPosInChunk == kChunkSize) bsSlide();
  }
  bsCurChunk = kChunkCount - 1;
  bsLastPos = bsPosInChunk;
  bsPosInBuffer = kWindowSize + bsPosInChunk;
  bsSize += count;
  return count;
}

int64_t TArcSlidingWindowStream::Read(void* buffer, int64_t count) {
  const int64_t position = bsBufferStart + bsPosInBuffer;
  count = std::min<int64_t>({count, kWindowSize, bsSize - position});
  if (count <= 0) return 0;
  auto* dst = static_cast<uint8_t*>(buffer);
  int64_t left = count;
  while (left > 0) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(left, kChunkSize - bsPosInChunk));
    std::memcpy(dst, bsChunks[bsCurChunk]->data() + bsPosInChunk, static_cast<size_t>(n));
    dst += n;
    left -= n;
    bsPosInChunk += n;
    if (bsPosInChunk == kChunkSize) {
      ++bsCurChunk;
      bsPosInChunk = 0;
    }
  }
  // The position moves with the bytes read, so that consecutive reads stay inside
  // what was written.
  bsPosInBuffer += static_cast<int32_t>(count);
  return count;
}

int64_t TArcSlidingWindowStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  int64_t target;
  switch (origin) {
    case rtl::soBeginning: target = offset; break;
    case rtl::soCurrent: target = offset + bsBufferStart + bsPosInBuffer; break;
    case rtl::soEnd: target = offset + bsSize; break;
    default: throw Exception("TArcSlidingWindowStream.Seek: invalid origin");
  }
  if (target < bsBufferStart || target > bsSize)
    throw Exception("TArcSlidingWindowStream.Seek: invalid new position");
  bsPosInBuffer = static_cast<int32_t>(target - bsBufferStart);
  bsCurChunk = bsPosInBuffer / kChunkSize;
  bsPosInChunk = bsPosInBuffer % kChunkSize;
  return target;
}

void TArcSlidingWindowStream::Flush() {
  if (!bsDirty) return;
  for (int32_t i = 0; i < kChunkCount; ++i) bsWriteChunk(i);
  bsDirty = false;
}

}  // namespace qelvo::unzip

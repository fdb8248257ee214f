#pragma once
// Little-endian field access and the "read what is there" helper the record readers use.
#include <cstdint>

#include "rtl/stream.h"

namespace qelvo::archive {

inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t GetLe64(const uint8_t* p) { return uint64_t(GetLe32(p)) | uint64_t(GetLe32(p + 4)) << 32; }
inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Reads until count bytes arrived or the stream delivers nothing more; returns the bytes read.
inline int64_t ReadUpTo(rtl::TStream& stream, void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = stream.Read(p + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

// Positions the stream at an offset taken from the file; offsets beyond the end stand at
// the end, so that the following read finds nothing instead of seeking out of range.
inline void SeekWithin(rtl::TStream& stream, uint64_t offset, int64_t streamSize) {
  const int64_t target = offset > static_cast<uint64_t>(streamSize) ? streamSize : static_cast<int64_t>(offset);
  stream.Seek(target, rtl::soBeginning);
}

}  // namespace qelvo::archive

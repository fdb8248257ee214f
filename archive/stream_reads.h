#pragma once
// The stream reads of the record readers: read what is there, seek no further than the end.
#include <cstdint>

#include "rtl/stream.h"

namespace qelvo::archive {

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

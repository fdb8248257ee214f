#pragma once
// Output streams of the decoder fuzz targets: count everything written and keep only a
// bounded prefix, so that a decoder that produces a lot costs no memory.
#include <algorithm>
#include <cstdint>
#include <string>

#include "rtl/stream.h"

namespace qelvo::fuzz {

class TCountingSink : public rtl::TStream {
 public:
  explicit TCountingSink(size_t aKeep = 1 << 20) : FKeep(aKeep) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* aBuffer, int64_t aCount) override {
    const size_t keep = std::min(static_cast<size_t>(aCount), FKeep - std::min(FKeep, Data.size()));
    Data.append(static_cast<const char*>(aBuffer), keep);
    Count += aCount;
    return aCount;
  }
  int64_t Seek(int64_t, rtl::TSeekOrigin) override { return Count; }

  std::string Data;
  int64_t Count = 0;

 private:
  size_t FKeep;
};

// The fuzz input as a memory stream positioned at its start.
inline void LoadInput(rtl::TMemoryStream& aStream, const uint8_t* aData, size_t aSize) {
  aStream.WriteBuffer(aData, static_cast<int64_t>(aSize));
  aStream.SetPosition(0);
}

}  // namespace qelvo::fuzz

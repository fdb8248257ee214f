#pragma once
// Read-only streams over bytes the caller owns, for code that feeds a decoder from memory
// without a copy (benchmarks, fuzz targets, tests). The bytes must outlive the stream.
#include <cstdint>
#include <string>
#include <vector>

#include "rtl/stream.h"

namespace qelvo::rtl {

// Reads the caller's bytes; writes move nothing and the size cannot change. Seeking past
// the end is allowed (reads there return 0), before the start raises EStreamError.
class TReadOnlyMemoryStream : public TStream {
 public:
  TReadOnlyMemoryStream(const void* data, int64_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  explicit TReadOnlyMemoryStream(const std::string& data)
      : TReadOnlyMemoryStream(data.data(), static_cast<int64_t>(data.size())) {}
  TReadOnlyMemoryStream(const std::string&&) = delete;  // the bytes would not outlive the stream

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  TReadArea ReadArea() override;

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
};

// Hands out at most a few bytes per Read, like a pipe or a socket: the read sizes cycle
// through pattern (each at least 1), so a consumer's refill and carry-over paths run.
class TShortReadStream : public TReadOnlyMemoryStream {
 public:
  TShortReadStream(const std::string& data, std::vector<int> pattern);
  TShortReadStream(const std::string&&, std::vector<int>) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  // None: every byte goes through the short reads.
  TReadArea ReadArea() override { return {}; }

 private:
  std::vector<int> pattern_;
  size_t next_ = 0;
};

}  // namespace qelvo::rtl

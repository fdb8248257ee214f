#include "rtl/view_streams.h"

#include <algorithm>
#include <cstring>

namespace qelvo::rtl {

int64_t TReadOnlyMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
  if (n > 0) std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  if (base + offset < 0) throw EStreamError("Invalid stream seek");
  position_ = base + offset;
  return position_;
}

TReadArea TReadOnlyMemoryStream::ReadArea() {
  if (position_ >= size_) return {};
  return {data_ + position_, size_ - position_};
}

TShortReadStream::TShortReadStream(const std::string& data, std::vector<int> pattern)
    : TReadOnlyMemoryStream(data), pattern_(std::move(pattern)) {
  if (pattern_.empty()) pattern_.push_back(1);
  for (int& step : pattern_) step = std::max(step, 1);
}

int64_t TShortReadStream::Read(void* buffer, int64_t count) {
  const int64_t most = pattern_[next_++ % pattern_.size()];
  return TReadOnlyMemoryStream::Read(buffer, std::min(count, most));
}

}  // namespace qelvo::rtl

#include "rtl/stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qelvo::rtl {

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::WriteAreaFilled(int64_t count) {
  if (count != 0) throw EStreamError("Stream has no write area");
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const int64_t n = Read(p, count);
    if (n <= 0) throw EReadError();
    p += n;
    count -= n;
  }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    const int64_t n = Write(p, count);
    if (n <= 0) throw EWriteError();
    p += n;
    count -= n;
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t kChunk = 64 * 1024;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min(count, kChunk)));
  const int64_t total = count;
  while (count > 0) {
    const int64_t n = std::min(count, kChunk);
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    count -= n;
  }
  return total;
}

TMemoryStream::~TMemoryStream() { std::free(data_); }

TReadArea TMemoryStream::ReadArea() {
  if (position_ >= size_) return {};
  return {data_ + position_, size_ - position_};
}

TWriteArea TMemoryStream::WriteArea() {
  if (position_ != size_ || data_ == nullptr) return {};
  return {data_ + position_, capacity_ - position_};
}

void TMemoryStream::WriteAreaFilled(int64_t count) {
  if (count < 0 || position_ != size_ || count > capacity_ - position_)
    throw EStreamError("Filled more than the write area holds");
  position_ += count;
  size_ = position_;
}

void TMemoryStream::SetCapacity(int64_t capacity) {
  if (capacity <= capacity_) return;
  void* p = std::realloc(data_, static_cast<size_t>(capacity));
  if (p == nullptr) throw EOutOfMemory();
  data_ = static_cast<uint8_t*>(p);
  capacity_ = capacity;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

void TMemoryStream::GrowFor(int64_t size) {
  if (size > capacity_) SetCapacity(std::max(size, capacity_ + capacity_ / 2 + 4096));
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  GrowFor(end);
  if (position_ > size_) std::memset(data_ + size_, 0, static_cast<size_t>(position_ - size_));
  std::memcpy(data_ + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  size_ = std::max(size_, end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = position_; break;
    case soEnd: base = size_; break;
  }
  const int64_t target = base + offset;
  if (target < 0) throw EStreamError("Invalid stream seek");
  position_ = target;
  return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream size");
  GrowFor(newSize);
  if (newSize > size_) std::memset(data_ + size_, 0, static_cast<size_t>(newSize - size_));
  size_ = newSize;
  position_ = std::min(position_, size_);
}

void TMemoryStream::Clear() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const int64_t n = source.Size();
  SetSize(n);
  position_ = 0;
  if (n > 0) source.ReadBuffer(data_, n);
}

void TMemoryStream::SaveToStream(TStream& dest) {
  if (size_ > 0) dest.WriteBuffer(data_, size_);
}

}  // namespace qelvo::rtl

#pragma once
// TStream: the byte-stream contract every subsystem reads and writes through.
// Read/Write may move fewer bytes than asked; ReadBuffer/WriteBuffer move exactly n bytes
// or raise EReadError/EWriteError.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "rtl/exceptions.h"

namespace qelvo::rtl {

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Memory a reader may take bytes from in place instead of copying them through Read.
struct TReadArea {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
};

// Memory a writer may fill in place instead of passing its bytes through Write.
struct TWriteArea {
  uint8_t* Data = nullptr;
  int64_t Room = 0;
};

class TStream {
 public:
  virtual ~TStream() = default;
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  virtual int64_t Position() { return Seek(0, soCurrent); }
  virtual void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
  virtual int64_t Size();
  // Streams that cannot change size raise EStreamError.
  virtual void SetSize(int64_t newSize);

  // The content from the current position on, in memory that stays put while the stream
  // is only read or sought: a consumer may take bytes there and Seek past them instead of
  // copying them through Read. Streams without such memory return an empty area.
  virtual TReadArea ReadArea() { return {}; }
  // Memory at the current position that a producer may fill directly, up to Room bytes,
  // handing each filled piece over with WriteAreaFilled; it saves the copy through Write.
  // The memory stays put while nothing but WriteAreaFilled touches the stream, and bytes
  // written there but never handed over do not become content. Streams without such
  // memory return an empty area.
  virtual TWriteArea WriteArea() { return {}; }
  // Makes the next count bytes of the area content, as a Write of them would.
  virtual void WriteAreaFilled(int64_t count);

  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's current position; count 0 copies the whole source
  // from its start. Returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);

  // Little helpers for byte strings.
  void WriteString(const std::string& s) { WriteBuffer(s.data(), static_cast<int64_t>(s.size())); }
};

// Keeps its bytes in one contiguous block that grows geometrically.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t newSize) override;
  TReadArea ReadArea() override;
  // The reserved capacity past the end, while the position is at the end (so that
  // nothing a producer writes beyond its count can overwrite content).
  TWriteArea WriteArea() override;
  void WriteAreaFilled(int64_t count) override;

  void Clear();
  uint8_t* Memory() { return data_; }
  const uint8_t* Memory() const { return data_; }
  // Capacity may be reserved ahead of writes; never shrinks the content.
  void SetCapacity(int64_t capacity);
  int64_t Capacity() const { return capacity_; }
  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& dest);
  std::string DataString() const { return std::string(reinterpret_cast<const char*>(data_), static_cast<size_t>(size_)); }

 private:
  // Geometric growth, so that appending n bytes in pieces costs O(n).
  void GrowFor(int64_t size);

  uint8_t* data_ = nullptr;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
  int64_t position_ = 0;
};

}  // namespace qelvo::rtl

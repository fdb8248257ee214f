#pragma once
// TArcVirtualMemoryStream: scratch storage of any size in a bounded amount of memory.
// The content lives in 4096-byte pages kept sorted by offset; at most MaxMemToUse bytes
// of pages stay in memory, and when another page is needed the least recently used one
// is reused, written first to a swap file when it was changed. The swap file ("VMS..."
// in SwapFileDirectory, else in the temporary folder) is created at the first write-out
// and deleted when the stream goes.
//
// Bytes beyond Size are always zero, in memory and in the swap file alike, so a stream
// that shrinks and grows again reads zeros there, as a memory stream does. A page that
// cannot be written to or loaded from the swap file fails the Read or Write with the
// swap error; the pages held stay consistent.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/stream.h"

namespace qelvo::archive {

class TArcVirtualMemoryStream : public rtl::TStream {
 public:
  static constexpr int64_t kPageSize = 4096;
  static constexpr uint32_t kMaxPages = 2048;

  TArcVirtualMemoryStream();
  ~TArcVirtualMemoryStream() override;
  TArcVirtualMemoryStream(const TArcVirtualMemoryStream&) = delete;
  TArcVirtualMemoryStream& operator=(const TArcVirtualMemoryStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // A negative target fails with EStreamError, as a memory stream's does.
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
  int64_t Size() override { return vmsSize; }
  void SetSize(int64_t newSize) override;

  uint32_t MaxMemToUse() const { return vmsMaxMemToUse; }
  // Rounded up to whole pages (at least one, at most 2048); pages beyond it leave memory.
  void SetMaxMemToUse(uint32_t value);
  const std::string& SwapFileDirectory() const { return vmsSwapFileDir; }
  void SetSwapFileDirectory(const std::string& value) { vmsSwapFileDir = value; }
  // "" until the swap file exists.
  const std::string& SwapFileName() const { return vmsSwapFileName; }
  int PagesInMemory() const { return static_cast<int>(vmsPageList.size()); }

 protected:
  // Opens the swap file (create or truncate); tests put streams that fail here.
  virtual std::unique_ptr<rtl::TStream> CreateSwapStream(const std::string& fileName);

 private:
  struct TPage {
    int64_t Offset = 0;
    uint32_t LastUse = 0;
    bool Dirty = false;
    std::array<uint8_t, kPageSize> Data{};
  };
  using TPageList = std::vector<std::unique_ptr<TPage>>;

  // The page at offset (a multiple of the page size), loaded when it is not in memory.
  TPage& PageAt(int64_t offset);
  void Stamp(TPage& page);
  TPageList::iterator LeastRecentlyUsed();
  // Takes the least recently used page out of memory, writing it out when dirty.
  std::unique_ptr<TPage> Evict();
  void SeekSwap(int64_t offset);
  void FillFromSwap(TPage& page);
  void WriteOut(TPage& page);
  void OpenSwapFile();
  void CloseSwapFile();

  TPage* vmsCachePage = nullptr;
  uint32_t vmsLRU = 0;
  uint32_t vmsMaxMemToUse = 0;
  uint32_t vmsMaxPages = 0;
  TPageList vmsPageList;
  int64_t vmsPosition = 0;
  int64_t vmsSize = 0;
  std::string vmsSwapFileDir;
  std::string vmsSwapFileName;
  int64_t vmsSwapFileSize = 0;
  std::unique_ptr<rtl::TStream> vmsSwapStream;
};

}  // namespace qelvo::archive

#pragma once
// TFileStream over a Windows-form path, with the classic access and sharing modes. On
// Windows the system enforces sharing; elsewhere it is enforced between the streams of
// this process.
#include <cstdint>
#include <string>

#include "rtl/stream.h"

namespace qelvo::platform {

enum : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,  // create or truncate, read-write
};

class TFileStream : public rtl::TStream {
 public:
  // mode = access | sharing, or fmCreate | sharing. Raises EFCreateError
  // ("Cannot create file \"%s\". <OS text>") or EFOpenError ("Cannot open file ...").
  TFileStream(const std::string& fileName, uint16_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  const std::string& FileName() const { return fileName_; }
  // The system's handle: a descriptor, or a Windows file handle.
  intptr_t Handle() const { return handle_; }
  // The OS error of the last write that stopped short (a full disk, a size limit); 0
  // when every write went through.
  int LastWriteError() const { return lastWriteError_; }

 private:
  int lastWriteError_ = 0;
  // Where the next read or write goes, kept here so that asking for the position (every
  // item of an archive does, several times) costs no system call.
  int64_t position_ = 0;
  std::string fileName_;
  intptr_t handle_ = -1;
  uint64_t shareKey_ = 0;
};

}  // namespace qelvo::platform

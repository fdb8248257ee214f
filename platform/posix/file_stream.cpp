#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/os_error.h"
#include "platform/path_map.h"

namespace qelvo::platform {
namespace {

// Windows sharing semantics between the streams of this process: an open is refused
// when its access is denied by an existing open's sharing, or when its own sharing
// denies an access an existing open already has.
struct OpenRecord {
  uint64_t id;
  bool read, write, denyRead, denyWrite;
};

class ShareTable {
 public:
  // Returns a key for Release, or 0 when the open conflicts.
  uint64_t Acquire(dev_t dev, ino_t ino, bool read, bool write, uint16_t share) {
    bool denyRead = false, denyWrite = false;
    switch (share & 0xF0) {
      case fmShareDenyNone: break;
      case fmShareDenyRead: denyRead = true; break;
      case fmShareDenyWrite: denyWrite = true; break;
      default: denyRead = denyWrite = true; break;  // exclusive and compat
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto& list = opens_[{dev, ino}];
    for (const auto& o : list) {
      if ((read && o.denyRead) || (write && o.denyWrite) || (o.read && denyRead) || (o.write && denyWrite)) {
        if (list.empty()) opens_.erase({dev, ino});
        return 0;
      }
    }
    const uint64_t id = ++next_;
    list.push_back({id, read, write, denyRead, denyWrite});
    keys_[id] = {dev, ino};
    return id;
  }

  void Release(uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto k = keys_.find(id);
    if (k == keys_.end()) return;
    auto& list = opens_[k->second];
    std::erase_if(list, [id](const OpenRecord& o) { return o.id == id; });
    if (list.empty()) opens_.erase(k->second);
    keys_.erase(k);
  }

 private:
  std::mutex mutex_;
  uint64_t next_ = 0;
  std::map<std::pair<dev_t, ino_t>, std::vector<OpenRecord>> opens_;
  std::map<uint64_t, std::pair<dev_t, ino_t>> keys_;
};

ShareTable& Shares() {
  static ShareTable table;
  return table;
}

std::string Describe(const char* what, const std::string& name, int code) {
  return std::string(what) + " \"" + name + "\". " + SysErrorMessage(code);
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
  const bool create = (mode & 0xFF00) == fmCreate;
  const uint16_t access = mode & 0x03;
  const bool read = create || access == fmOpenRead || access == fmOpenReadWrite;
  const bool write = create || access == fmOpenWrite || access == fmOpenReadWrite;
  auto fail = [&](int code) {
    SetLastOSError(code);
    if (create) throw rtl::EFCreateError(Describe("Cannot create file", fileName, code));
    throw rtl::EFOpenError(Describe("Cannot open file", fileName, code));
  };

  const auto native = ToNativePath(fileName);
  if (!native) fail(kErrorPathNotMapped);
  int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
  if (create) flags |= O_CREAT;
  // Truncation waits until the sharing check has passed.
  handle_ = ::open(native->c_str(), flags, 0666);
  if (handle_ < 0) fail(errno);
  struct stat st{};
  if (::fstat(handle_, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int code = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(handle_);
    handle_ = -1;
    fail(code);
  }
  // A read-only file refuses writers, whoever asks.
  if (write && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    ::close(handle_);
    handle_ = -1;
    fail(EACCES);
  }
  shareKey_ = Shares().Acquire(st.st_dev, st.st_ino, read, write, mode & 0xF0);
  if (shareKey_ == 0) {
    ::close(handle_);
    handle_ = -1;
    fail(EBUSY);
  }
  // Only a file with content is truncated: truncating an empty one changes nothing, and
  // on ext4 it would make the close flush the new content to disk at once.
  if (create && st.st_size > 0 && ::ftruncate(handle_, 0) != 0) {
    const int code = errno;
    Shares().Release(shareKey_);
    ::close(handle_);
    handle_ = -1;
    fail(code);
  }
}

TFileStream::~TFileStream() {
  if (handle_ >= 0) {
    Shares().Release(shareKey_);
    ::close(handle_);
  }
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  auto* p = static_cast<char*>(buffer);
  int64_t total = 0;
  while (count > 0) {
    const ssize_t n = ::read(handle_, p, static_cast<size_t>(std::min<int64_t>(count, 1 << 30)));
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastOSError(errno);
      break;
    }
    if (n == 0) break;
    total += n;
    p += n;
    count -= n;
  }
  position_ += total;
  return total;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  const auto* p = static_cast<const char*>(buffer);
  int64_t total = 0;
  while (count > 0) {
    const ssize_t n = ::write(handle_, p, static_cast<size_t>(std::min<int64_t>(count, 1 << 30)));
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastOSError(errno);
      lastWriteError_ = errno;
      break;
    }
    if (n == 0) break;
    total += n;
    p += n;
    count -= n;
  }
  position_ += total;
  return total;
}

int64_t TFileStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  if (offset == 0 && origin == rtl::soCurrent) return position_;
  const int whence = origin == rtl::soBeginning ? SEEK_SET : origin == rtl::soCurrent ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(handle_, static_cast<off_t>(offset), whence);
  if (r < 0) {
    SetLastOSError(errno);
    throw rtl::EStreamError("Stream seek error: " + SysErrorMessage(errno));
  }
  position_ = static_cast<int64_t>(r);
  return position_;
}

int64_t TFileStream::Size() {
  struct stat st{};
  if (::fstat(handle_, &st) != 0) return TStream::Size();
  return static_cast<int64_t>(st.st_size);
}

void TFileStream::SetSize(int64_t newSize) {
  if (newSize < 0 || ::ftruncate(handle_, static_cast<off_t>(newSize)) != 0) {
    SetLastOSError(errno);
    throw rtl::EWriteError();
  }
  if (Position() > newSize) Seek(newSize, rtl::soBeginning);
}

}  // namespace qelvo::platform

// TFileStream over CreateFileW: the system enforces the sharing modes, between processes
// too.
#include "platform/file_stream.h"

#include <algorithm>

#include "platform/win32/windows_api.h"

namespace qelvo::platform {
namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

DWORD ShareFlags(uint16_t share) {
  switch (share & 0xF0) {
    case fmShareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    case fmShareDenyRead: return FILE_SHARE_WRITE;
    case fmShareDenyWrite: return FILE_SHARE_READ;
    default: return 0;  // exclusive and compat
  }
}

std::string Describe(const char* what, const std::string& name, int code) {
  return std::string(what) + " \"" + name + "\". " + SysErrorMessage(code);
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
  const bool create = (mode & 0xFF00) == fmCreate;
  const uint16_t access = mode & 0x03;
  DWORD desired = GENERIC_READ | GENERIC_WRITE;
  if (!create) desired = access == fmOpenRead ? GENERIC_READ : access == fmOpenWrite ? GENERIC_WRITE : desired;
  const std::wstring wide = win32::Wide(fileName);
  // A read-only file refuses writers. The system says so itself, but not Wine when the
  // program runs as root; asking first gives the same answer everywhere.
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
                        !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  const bool refused = readOnly && (desired & GENERIC_WRITE) != 0;
  HANDLE h = refused ? INVALID_HANDLE_VALUE
                     : ::CreateFileW(wide.c_str(), desired, ShareFlags(mode), nullptr,
                                     create ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const int code = refused ? ERROR_ACCESS_DENIED : static_cast<int>(::GetLastError());
    SetLastOSError(code);
    if (create) throw rtl::EFCreateError(Describe("Cannot create file", fileName, code));
    throw rtl::EFOpenError(Describe("Cannot open file", fileName, code));
  }
  handle_ = reinterpret_cast<intptr_t>(h);
}

TFileStream::~TFileStream() {
  if (handle_ != -1) ::CloseHandle(H(handle_));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  auto* p = static_cast<char*>(buffer);
  int64_t total = 0;
  while (count > 0) {
    DWORD n = 0;
    if (!::ReadFile(H(handle_), p, static_cast<DWORD>(std::min<int64_t>(count, 1 << 30)), &n, nullptr)) {
      SetLastOSError(static_cast<int>(::GetLastError()));
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
    DWORD n = 0;
    if (!::WriteFile(H(handle_), p, static_cast<DWORD>(std::min<int64_t>(count, 1 << 30)), &n, nullptr)) {
      lastWriteError_ = static_cast<int>(::GetLastError());
      SetLastOSError(lastWriteError_);
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
  const DWORD method = origin == rtl::soBeginning ? FILE_BEGIN : origin == rtl::soCurrent ? FILE_CURRENT : FILE_END;
  LARGE_INTEGER to, at;
  to.QuadPart = offset;
  if (!::SetFilePointerEx(H(handle_), to, &at, method)) {
    const int code = static_cast<int>(::GetLastError());
    SetLastOSError(code);
    throw rtl::EStreamError("Stream seek error: " + SysErrorMessage(code));
  }
  position_ = at.QuadPart;
  return position_;
}

int64_t TFileStream::Size() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(H(handle_), &size)) return TStream::Size();
  return size.QuadPart;
}

void TFileStream::SetSize(int64_t newSize) {
  const int64_t position = Position();
  if (newSize < 0) throw rtl::EWriteError();
  Seek(newSize, rtl::soBeginning);
  if (!::SetEndOfFile(H(handle_))) {
    SetLastOSError(static_cast<int>(::GetLastError()));
    Seek(position, rtl::soBeginning);
    throw rtl::EWriteError();
  }
  Seek(std::min(position, newSize), rtl::soBeginning);
}

}  // namespace qelvo::platform

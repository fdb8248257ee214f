// Shell links on POSIX: the link file is written directly, with the facts about the
// target that the link header stores.
#include <sys/stat.h>

#include <algorithm>

#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/path_map.h"
#include "platform/shell.h"
#include "rtl/exceptions.h"

namespace qelvo::platform {
namespace {

uint64_t ToFileTime(const struct timespec& ts) {
  constexpr int64_t kEpochDelta = 11644473600;  // seconds from 1601 to 1970
  const int64_t secs = static_cast<int64_t>(ts.tv_sec) + kEpochDelta;
  if (secs < 0) return 0;
  return static_cast<uint64_t>(secs) * 10000000u + static_cast<uint64_t>(ts.tv_nsec / 100);
}

TShellLinkTargetInfo TargetInfo(const std::string& path) {
  TShellLinkTargetInfo t;
  const auto native = ToNativePath(path);
  struct stat st {};
  if (!native || ::stat(native->c_str(), &st) != 0) return t;
  const uint32_t attr = FileGetAttr(path);
  t.FileAttributes = attr == kInvalidAttributes ? 0 : attr;
  t.WriteTime = ToFileTime(st.st_mtim);
  t.AccessTime = ToFileTime(st.st_atim);
  t.CreationTime = ToFileTime(st.st_ctim);
  t.FileSize = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(st.st_size), 0xFFFFFFFFu));
  return t;
}

}  // namespace

bool SaveShellLink(const TShellLink& link, const std::string& linkFile) {
  try {
    const rtl::ByteString bytes = EncodeShellLink(link, TargetInfo(link.Path));
    TFileStream f(linkFile, fmCreate);
    f.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return true;
  } catch (const rtl::Exception&) {
    return false;
  }
}

}  // namespace qelvo::platform

#pragma once
// Internal to platform/posix: maps a Windows-form path, recording the OS error when it
// maps nowhere.
#include <optional>
#include <string>

#include "platform/os_error.h"
#include "platform/path_map.h"

namespace qelvo::platform::posix {

inline std::optional<std::string> Native(const std::string& path) {
  auto n = ToNativePath(path);
  if (!n) SetLastOSError(kErrorPathNotMapped);
  return n;
}

// Records errno as the last OS error and returns the failure value.
template <typename T>
T Fail(T value) {
  SetLastOSError(errno);
  return value;
}

}  // namespace qelvo::platform::posix

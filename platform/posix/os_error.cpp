#include "platform/os_error.h"

#include <cstring>

namespace qelvo::platform {
namespace {
thread_local int lastError = 0;
}

int GetLastOSError() { return lastError; }
void SetLastOSError(int code) { lastError = code; }

std::string SysErrorMessage(int code) {
  if (code == kErrorPathNotMapped) return "The system cannot find the path specified";
  char buf[256];
  // GNU strerror_r returns the text, which may not be buf.
  const char* text = strerror_r(code, buf, sizeof buf);
  return text ? std::string(text) : "Unknown error " + std::to_string(code);
}

}  // namespace qelvo::platform

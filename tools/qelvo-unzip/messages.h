#pragma once
// How qelvo-unzip words what went wrong: in the user's words with the code in brackets
// ("CRC mismatch [19]"), and never a raw control character from an archive.
#include <cstdint>
#include <string>

#include "archive/errors.h"

namespace qelvo::tools {

// Bytes below 0x20 and DEL as "\xNN", so that a stored name cannot
// move the cursor, recolour or retitle the terminal.
std::string EscapeControls(const std::string& text);

struct TFailureContext {
  uint8_t Method = 0;          // the item's compression method
  bool PasswordGiven = false;  // -P was on the command line
};

// "CRC mismatch [19]", "unsupported compression method 12 (bzip2) [2]"; for failures
// outside the archive catalogue the exception's own message and the class and OS code.
std::string DescribeFailure(archive::TArcErrorClass errorClass, int32_t errorCode, const std::string& exceptionText,
                            const TFailureContext& context);

// A decimal sum of item sizes that cannot overflow.
class TSizeTotal {
 public:
  void Add(int64_t size);
  std::string Text() const;

 private:
  unsigned __int128 total_ = 0;
};

}  // namespace qelvo::tools

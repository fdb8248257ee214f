#pragma once
// Exception roots shared by every subsystem. Subsystem families (sockets, archives)
// derive from Exception so that one handler can show any failure's message, while the
// item-failure classification can still tell the runtime families apart.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace qelvo::rtl {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string m) { message_ = std::move(m); }

 private:
  std::string message_;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error") {}
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// A failed operating-system call, with the OS error number.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};
inline constexpr const char* kInvalidDateEncode = "Invalid argument to date encode";
inline constexpr const char* kInvalidTimeEncode = "Invalid argument to time encode";

class EListError : public Exception {
 public:
  explicit EListError(int64_t index) : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
};

// A precondition that correct callers never break; the text is fixed by the raiser.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
};

// Raises EAssertionFailed with the fixed text when the condition does not hold.
inline void Assert(bool condition, const char* text) {
  if (!condition) throw EAssertionFailed(text);
}

}  // namespace qelvo::rtl

namespace qelvo {
using rtl::Exception;
}

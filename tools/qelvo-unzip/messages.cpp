#include "tools/qelvo-unzip/messages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "archive/zip_records.h"

namespace qelvo::tools {

using namespace qelvo::archive;

std::string EscapeControls(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

namespace {

std::string MethodText(uint8_t method) {
  std::string text = "unsupported compression method " + std::to_string(method & 0x7F);
  std::string name = ZipMethodName(method);
  if (name.compare(0, 4, "Unk:") == 0) return text;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return text + " (" + name + ")";
}

// The catalogue's wording where a user would say it otherwise; "" keeps the exception's.
std::string UserWords(int32_t code, const TFailureContext& context) {
  switch (code) {
    case kArcZipVersion: return "needs a newer version to extract";
    case kArcZipInvalidMethod: return MethodText(context.Method);
    case kArcZipInvalidPassword:
      return context.PasswordGiven ? "wrong password" : "encrypted: a password is required (-P)";
    case kArcZipBadCRC: return "CRC mismatch";
    case kArcZipInvalidLFH: return "local header does not match the central directory";
    case kArcZipInvalid: return "damaged archive data";
    case kArcReadError: return "error reading the archive";
    case kArcUnsafePath: return "path leaves the target folder";
    case kArcBadWindowsName: return "name is not valid on Windows";
    case kArcBadStream: return "unreadable archive stream";
  }
  return "";
}

}  // namespace

std::string DescribeFailure(TArcErrorClass errorClass, int32_t errorCode, const std::string& exceptionText,
                            const TFailureContext& context) {
  if (errorClass == ecArchive) {
    std::string words = UserWords(errorCode, context);
    if (words.empty()) words = exceptionText.empty() ? ArcErrorText(errorCode) : exceptionText;
    return EscapeControls(words) + " [" + std::to_string(errorCode) + "]";
  }
  std::string text = EscapeControls(exceptionText);
  if (text.empty()) text = "failed";
  return text + " [" + ErrorClassName(errorClass) + " " + std::to_string(errorCode) + "]";
}

void TSizeTotal::Add(int64_t size) {
  if (size > 0) total_ += static_cast<uint64_t>(size);
}

std::string TSizeTotal::Text() const {
  if (total_ == 0) return "0";
  std::string digits;
  for (unsigned __int128 v = total_; v > 0; v /= 10) digits += static_cast<char>('0' + static_cast<int>(v % 10));
  std::reverse(digits.begin(), digits.end());
  return digits;
}

}  // namespace qelvo::tools

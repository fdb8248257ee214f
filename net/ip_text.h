#pragma once
// Recognition and conversion of IPv4 and IPv6 address texts.
#include <array>
#include <cstdint>
#include <string>

#include "rtl/text.h"

namespace qelvo::net {

using rtl::ByteString;

// Digits only, value 0..255.
bool IsDecimalByte(const std::string& text);
bool IsIPv4Text(const std::string& text);
// Accepts "::", compressed forms and a hexadecimal zone suffix after "%".
bool IsIPv6Text(const std::string& text);

// Four bytes of a dotted quad (a token that is not a number gives 0).
ByteString IPv4TextToBytes(const std::string& text);
// Replaces "::" by the missing zero groups; empty for an empty text or more than 7 ":".
std::string ExpandIPv6Text(const std::string& text);
// Sixteen bytes, all zero when the text is not a valid address.
ByteString IPv6TextToBytes(const std::string& text);
// Canonical compressed text of 16 address bytes ("::0" for all zeros).
std::string IPv6BytesToText(const uint8_t bytes[16]);
inline std::string IPv6BytesToText(const ByteString& bytes) {
  uint8_t b[16] = {};
  for (size_t i = 0; i < 16 && i < bytes.size(); ++i) b[i] = static_cast<uint8_t>(bytes[i]);
  return IPv6BytesToText(b);
}

}  // namespace qelvo::net

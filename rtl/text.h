#pragma once
// Text helpers: UTF-8 is the program's text; UTF-16 appears where rules count code units.
// Code-page conversion and Unicode case mapping need the system's tables: they live in
// platform/code_page.h.
#include <cstdint>
#include <string>
#include <string_view>

namespace qelvo::rtl {

using ByteString = std::string;

inline constexpr int kAnsiCodePage = 1252;
inline constexpr int kOemCodePage = 850;
inline constexpr int kUtf8CodePage = 65001;

// Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view s);
bool IsValidUtf8(std::string_view s);
// Decodes the code point at s[i] and advances i; a malformed sequence yields U+FFFD and
// consumes one byte.
char32_t DecodeUtf8At(std::string_view s, size_t& i);
void AppendUtf8(std::string& out, char32_t codePoint);
template <typename F>
std::string MapCodePoints(std::string_view s, F f) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) AppendUtf8(out, f(DecodeUtf8At(s, i)));
  return out;
}

// ASCII-only case mapping: other bytes pass through unchanged.
std::string UpperCaseAscii(std::string_view s);
std::string LowerCaseAscii(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);

std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

}  // namespace qelvo::rtl

#pragma once
// Text helpers: UTF-8 is the program's text; UTF-16 appears where rules count code units;
// single-byte code pages (ANSI 1252, OEM 850 and others) convert through iconv.
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

// Code page <-> UTF-8. Bytes a page does not define become '?' (to UTF-8: U+FFFD).
// Raises EConvertError when the page itself is unknown.
std::string CodePageToUtf8(std::string_view bytes, int codePage);
ByteString Utf8ToCodePage(std::string_view text, int codePage);
inline std::string AnsiToUtf8(std::string_view b) { return CodePageToUtf8(b, kAnsiCodePage); }
inline ByteString Utf8ToAnsi(std::string_view t) { return Utf8ToCodePage(t, kAnsiCodePage); }
inline std::string OemToUtf8(std::string_view b) { return CodePageToUtf8(b, kOemCodePage); }
inline ByteString Utf8ToOem(std::string_view t) { return Utf8ToCodePage(t, kOemCodePage); }

// ASCII-only case mapping: other bytes pass through unchanged.
std::string UpperCaseAscii(std::string_view s);
std::string LowerCaseAscii(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);
// Full Unicode simple case mapping of UTF-8 text.
std::string UpperCaseUnicode(std::string_view s);
std::string LowerCaseUnicode(std::string_view s);
char16_t UpperCaseChar(char16_t c);

std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

}  // namespace qelvo::rtl

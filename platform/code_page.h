#pragma once
// Code pages and Unicode case mapping, from the system's own tables. The program's text
// is UTF-8 (rtl/text.h); these convert at its edges: wire headers, stored names, link files.
#include <string>
#include <string_view>

#include "rtl/text.h"

namespace qelvo::platform {

// The system's ANSI and OEM pages: GetACP/GetOEMCP on Windows; elsewhere the pages of the
// Brazilian Portuguese Windows the program is written for (1252 and 850).
int AnsiCodePage();
int OemCodePage();

// Code page <-> UTF-8. Bytes a page does not define become '?' (to UTF-8: U+FFFD).
// Raises EConvertError when the page itself is unknown.
std::string CodePageToUtf8(std::string_view bytes, int codePage);
rtl::ByteString Utf8ToCodePage(std::string_view text, int codePage);
inline std::string AnsiToUtf8(std::string_view b) { return CodePageToUtf8(b, AnsiCodePage()); }
inline rtl::ByteString Utf8ToAnsi(std::string_view t) { return Utf8ToCodePage(t, AnsiCodePage()); }
inline std::string OemToUtf8(std::string_view b) { return CodePageToUtf8(b, OemCodePage()); }
inline rtl::ByteString Utf8ToOem(std::string_view t) { return Utf8ToCodePage(t, OemCodePage()); }

// Full Unicode simple case mapping of UTF-8 text.
std::string UpperCaseUnicode(std::string_view s);
std::string LowerCaseUnicode(std::string_view s);
char16_t UpperCaseChar(char16_t c);

}  // namespace qelvo::platform

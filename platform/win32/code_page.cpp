// Code pages and case mapping through the system's own tables.
#include "platform/code_page.h"

#include "platform/win32/windows_api.h"
#include "rtl/exceptions.h"

namespace qelvo::platform {
namespace {

void CheckPage(int codePage) {
  if (!::IsValidCodePage(static_cast<UINT>(codePage)))
    throw rtl::EConvertError("No conversion for code page " + std::to_string(codePage));
}

}  // namespace

int AnsiCodePage() { return static_cast<int>(::GetACP()); }
int OemCodePage() { return static_cast<int>(::GetOEMCP()); }

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
  if (codePage == rtl::kUtf8CodePage || bytes.empty()) return std::string(bytes);
  CheckPage(codePage);
  // Byte by byte: an undefined byte becomes U+FFFD and the rest of the text is kept.
  std::u16string out;
  out.reserve(bytes.size());
  for (const char b : bytes) {
    if (static_cast<uint8_t>(b) < 0x80) {
      out += static_cast<char16_t>(b);
      continue;
    }
    wchar_t w[2];
    const int n = ::MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, &b, 1, w, 2);
    // The system's single-byte tables give the bytes they leave undefined the C1 control
    // of the same value; those are not text.
    const bool defined = n == 1 && !(w[0] >= 0x80 && w[0] <= 0x9F);
    out += defined ? static_cast<char16_t>(w[0]) : u'\uFFFD';
  }
  return rtl::Utf16ToUtf8(out);
}

rtl::ByteString Utf8ToCodePage(std::string_view text, int codePage) {
  if (codePage == rtl::kUtf8CodePage || text.empty()) return rtl::ByteString(text);
  CheckPage(codePage);
  const std::u16string w = rtl::Utf8ToUtf16(text);
  if (w.empty()) return {};
  // No best-fit mapping: a character the page lacks becomes '?', not a look-alike.
  const auto* src = reinterpret_cast<const wchar_t*>(w.data());
  const int n = ::WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, src, static_cast<int>(w.size()),
                                      nullptr, 0, "?", nullptr);
  if (n <= 0) return std::string(w.size(), '?');
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, src, static_cast<int>(w.size()), out.data(),
                        n, "?", nullptr);
  return out;
}

namespace {

std::string MapCase(std::string_view s, DWORD flags) {
  std::u16string w = rtl::Utf8ToUtf16(s);
  if (w.empty()) return std::string(s);
  auto* p = reinterpret_cast<wchar_t*>(w.data());
  const int n = static_cast<int>(w.size());
  // Same length in and out: simple case mapping never changes the count of units.
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, flags, p, n, p, n, nullptr, nullptr, 0) == 0) return std::string(s);
  return rtl::Utf16ToUtf8(w);
}

}  // namespace

std::string UpperCaseUnicode(std::string_view s) { return MapCase(s, LCMAP_UPPERCASE); }
std::string LowerCaseUnicode(std::string_view s) { return MapCase(s, LCMAP_LOWERCASE); }

char16_t UpperCaseChar(char16_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  wchar_t w = static_cast<wchar_t>(c);
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &w, 1, &w, 1, nullptr, nullptr, 0) != 1) return c;
  return static_cast<char16_t>(w);
}

}  // namespace qelvo::platform

#include "rtl/text.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <mutex>

#include "rtl/exceptions.h"

namespace qelvo::rtl {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at s[i], advancing i; malformed input yields U+FFFD and
// consumes one byte.
char32_t DecodeUtf8(std::string_view s, size_t& i) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
  else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
  else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
  else { ++i; return kReplacement; }
  if (i + len > s.size()) { ++i; return kReplacement; }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) { ++i; return kReplacement; }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return kReplacement; }
  i += len;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string IconvName(int codePage) {
  if (codePage == kUtf8CodePage) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

// One iconv conversion of a whole buffer; single-byte pages only map byte by byte, so an
// undefined byte is replaced and the conversion goes on.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw EConvertError("No conversion from " + from + " to " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts one unit; returns false when iconv rejects it.
  bool Convert(std::string_view in, std::string& out) {
    char buf[16];
    char* inp = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outp = buf;
    size_t outLeft = sizeof buf;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd_, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
    out.append(buf, static_cast<size_t>(outp - buf));
    return true;
  }

 private:
  iconv_t cd_;
};

locale_t UnicodeLocale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (l == static_cast<locale_t>(nullptr)) l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

template <typename F>
std::string MapUnicode(std::string_view s, F f) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) AppendUtf8(out, f(DecodeUtf8(s, i)));
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const char32_t cp = DecodeUtf8(s, i);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const size_t before = i;
    if (DecodeUtf8(s, i) == kReplacement) {
      // A literal U+FFFD is three bytes; a rejected byte advances one.
      if (i - before != 3) return false;
    }
  }
  return true;
}

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
  if (codePage == kUtf8CodePage) return std::string(bytes);
  Converter conv("UTF-8", IconvName(codePage));
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char b : bytes) {
    if (static_cast<uint8_t>(b) < 0x80) out += b;
    else if (!conv.Convert(std::string_view(&b, 1), out)) AppendUtf8(out, kReplacement);
  }
  return out;
}

ByteString Utf8ToCodePage(std::string_view text, int codePage) {
  if (codePage == kUtf8CodePage) return ByteString(text);
  Converter conv(IconvName(codePage), "UTF-8");
  ByteString out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char32_t cp = DecodeUtf8(text, i);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    std::string unit;
    AppendUtf8(unit, cp);
    if (!conv.Convert(unit, out)) out += '?';
  }
  return out;
}

std::string UpperCaseAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string LowerCaseAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string UpperCaseUnicode(std::string_view s) {
  locale_t loc = UnicodeLocale();
  return MapUnicode(s, [loc](char32_t c) -> char32_t {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    return loc ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc)) : c;
  });
}

std::string LowerCaseUnicode(std::string_view s) {
  locale_t loc = UnicodeLocale();
  return MapUnicode(s, [loc](char32_t c) -> char32_t {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return loc ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc)) : c;
  });
}

char16_t UpperCaseChar(char16_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  locale_t loc = UnicodeLocale();
  if (!loc) return c;
  const auto u = towupper_l(static_cast<wint_t>(c), loc);
  return u > 0xFFFF ? c : static_cast<char16_t>(u);
}

namespace {
bool IsTrimmed(char c) { return static_cast<uint8_t>(c) <= ' '; }
}  // namespace

std::string TrimLeft(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsTrimmed(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && IsTrimmed(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

}  // namespace qelvo::rtl

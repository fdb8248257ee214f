// Code pages through iconv, case mapping through the C library's Unicode locale.
#include "platform/code_page.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include "rtl/exceptions.h"

namespace qelvo::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

std::string IconvName(int codePage) {
  if (codePage == rtl::kUtf8CodePage) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

// One iconv conversion of a whole buffer; single-byte pages only map byte by byte, so an
// undefined byte is replaced and the conversion goes on.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw rtl::EConvertError("No conversion from " + from + " to " + to);
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

}  // namespace

int AnsiCodePage() { return rtl::kAnsiCodePage; }
int OemCodePage() { return rtl::kOemCodePage; }

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
  if (codePage == rtl::kUtf8CodePage) return std::string(bytes);
  Converter conv("UTF-8", IconvName(codePage));
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char b : bytes) {
    if (static_cast<uint8_t>(b) < 0x80) out += b;
    else if (!conv.Convert(std::string_view(&b, 1), out)) rtl::AppendUtf8(out, kReplacement);
  }
  return out;
}

rtl::ByteString Utf8ToCodePage(std::string_view text, int codePage) {
  if (codePage == rtl::kUtf8CodePage) return rtl::ByteString(text);
  Converter conv(IconvName(codePage), "UTF-8");
  rtl::ByteString out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char32_t cp = rtl::DecodeUtf8At(text, i);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    std::string unit;
    rtl::AppendUtf8(unit, cp);
    if (!conv.Convert(unit, out)) out += '?';
  }
  return out;
}

std::string UpperCaseUnicode(std::string_view s) {
  locale_t loc = UnicodeLocale();
  return rtl::MapCodePoints(s, [loc](char32_t c) -> char32_t {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    return loc ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc)) : c;
  });
}

std::string LowerCaseUnicode(std::string_view s) {
  locale_t loc = UnicodeLocale();
  return rtl::MapCodePoints(s, [loc](char32_t c) -> char32_t {
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

}  // namespace qelvo::platform

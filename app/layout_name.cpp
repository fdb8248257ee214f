#include "app/layout_name.h"

#include "app/packages.h"
#include "rtl/text.h"

namespace qelvo::app {

bool IsSafeLayoutName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (!rtl::IsValidUtf8(name)) return false;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
      case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return false;
      default:
        break;
    }
  }
  // The layout is saved as name + ".zip" in temp, beside the installer's own packages;
  // the file system there compares names without regard to case.
  const std::string localFile = std::string(name) + ".zip";
  for (const TPackage& p : PackageTable())
    if (rtl::SameTextAscii(localFile, p.LocalFile)) return false;
  return true;
}

std::string PercentEncodePathSegment(std::string_view text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

}  // namespace qelvo::app

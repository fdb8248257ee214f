#include "download/file_names.h"

#include <algorithm>
#include <cstring>

#include "rtl/file_path.h"

namespace qelvo::download {

std::string SafeFileName(const std::string& name) {
  std::string flat = name;
  std::replace(flat.begin(), flat.end(), '/', '\\');
  std::string base = rtl::ExtractFileName(flat);
  // Blanks around a name are never meant (they come from header formatting).
  const size_t first = base.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  base = base.substr(first, base.find_last_not_of(" \t") - first + 1);
  if (base == "." || base == "..") return "";
  for (unsigned char c : base)
    if (c < 0x20 || c == 0x7F) return "";
  return base;
}

std::string FileNameFromUrlPath(const std::string& path) {
  std::string flat = path;
  std::replace(flat.begin(), flat.end(), '/', '\\');
  return SafeFileName(rtl::ExtractFileName(flat));
}

std::string FileNameFromHeaderLine(const std::string& line) {
  static constexpr const char kKey[] = "filename=";
  const size_t at = line.find(kKey);
  if (at == std::string::npos) return "";
  const std::string rest = line.substr(at + std::strlen(kKey));
  std::string value;
  if (!rest.empty() && rest[0] == '"') {
    for (size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] == '\\' && i + 1 < rest.size()) {
        value += rest[++i];
      } else if (rest[i] == '"') {
        break;
      } else {
        value += rest[i];
      }
    }
  } else {
    value = rest.substr(0, rest.find(';'));
  }
  return SafeFileName(value);
}

bool HasPartSuffix(const std::string& name) {
  const size_t n = std::strlen(kPartSuffix);
  return name.size() > n && name.compare(name.size() - n, n, kPartSuffix) == 0;
}

std::string WithPartSuffix(const std::string& name) {
  return HasPartSuffix(name) ? name : name + kPartSuffix;
}

std::string NormalizeFolder(const std::string& folder) {
  auto blank = [](unsigned char c) { return c <= ' '; };
  const auto first = std::find_if_not(folder.begin(), folder.end(), blank);
  if (first == folder.end()) return "";
  const auto last = std::find_if_not(folder.rbegin(), folder.rend(), blank).base();
  return rtl::IncludeTrailingBackslash(std::string(first, last));
}

}  // namespace qelvo::download

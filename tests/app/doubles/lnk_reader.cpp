#include "lnk_reader.h"

#include <cstdio>

namespace qelvo::app::testing {

std::map<std::string, std::string> LnkInfo(const std::filesystem::path& file) {
  std::map<std::string, std::string> fields;
  FILE* p = ::popen(("lnkinfo '" + file.string() + "' 2>&1").c_str(), "r");
  if (!p) return fields;
  char line[4096];
  while (std::fgets(line, sizeof line, p)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    const auto colon = s.find(':');
    if (colon == std::string::npos) continue;
    std::string key = s.substr(0, colon);
    key.erase(0, key.find_first_not_of(" \t"));
    key.erase(key.find_last_not_of(" \t") + 1);
    fields[key] = colon + 2 <= s.size() ? s.substr(colon + 2) : "";
  }
  ::pclose(p);
  return fields;
}

}  // namespace qelvo::app::testing

#include "app/shortcut_name.h"

namespace qelvo::app {

std::string ShortcutFileName(const std::string& description) {
  const auto dot = description.find_last_of(".\\:");
  if (dot != std::string::npos && description[dot] == '.') return description.substr(0, dot) + ".lnk";
  return description + ".lnk";
}

}  // namespace qelvo::app

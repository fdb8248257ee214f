#include <algorithm>
#include <filesystem>

#include "platform/path_map.h"
#include "tests/support/drive_c.h"

namespace qelvo::test {
namespace {

std::vector<std::string> TopLevel() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(platform::DriveCRoot() + "\\", ec))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

ScopedDriveC::ScopedDriveC(const std::string&) : before_(TopLevel()) {}

ScopedDriveC::~ScopedDriveC() {
  for (const std::string& name : TopLevel())
    if (!std::binary_search(before_.begin(), before_.end(), name))
      RemoveTree(platform::DriveCRoot() + "\\" + name);
}

std::string DriveCFolder(const TempFolder&) { return platform::DriveCRoot(); }

}  // namespace qelvo::test

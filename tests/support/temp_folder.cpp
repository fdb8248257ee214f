#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <stdexcept>

#include "platform/path_map.h"
#include "tests/support/files.h"

namespace qelvo::test {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string& tag) {
  native_ = MakeTempFolder(tag);
  if (native_.empty()) throw std::runtime_error("no temporary folder for " + tag);
  // Absolute: a Windows program's "/tmp/..." is on the current drive.
  windows_ = platform::FromNativePath(fs::absolute(native_).string());
}

TempFolder::~TempFolder() { RemoveTree(native_); }

std::string TempFolder::WindowsFile(const std::string& relative) const {
  std::string r = relative;
  for (char& c : r)
    if (c == '/') c = '\\';
  return windows_ + "\\" + r;
}

void TempFolder::Write(const std::string& relative, const std::string& bytes) const {
  WriteFile(File(relative), bytes);
}

void RemoveTree(const std::string& root) {
  std::error_code ec;
  // The root may itself be a read-only file.
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root, ec);
}

}  // namespace qelvo::test

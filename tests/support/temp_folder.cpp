#include "tests/support/temp_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/path_map.h"
#include "tests/support/files.h"

namespace qelvo::test {

namespace fs = std::filesystem;

TempFolder::TempFolder(const std::string& tag) {
  std::string tmpl = (fs::temp_directory_path() / ("qelvo-" + tag + "-XXXXXX")).string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + tmpl);
  native_ = tmpl;
  // Peers that drop their privileges still read their configuration and documents here.
  ::chmod(native_.c_str(), 0755);
  windows_ = platform::FromNativePath(native_);
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
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root, ec);
}

}  // namespace qelvo::test

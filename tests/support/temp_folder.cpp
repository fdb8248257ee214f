#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/file_system.h"
#include "platform/path_map.h"
#include "platform/path_walk.h"
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

namespace {

// Deeper than any tree a test makes: a walk that goes on is looping through a link.
constexpr int kMaxRemoveDepth = 64;

void RemoveEntry(const fs::path& path, int depth) {
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
  const bool folder = fs::is_directory(fs::symlink_status(path, ec)) && depth < kMaxRemoveDepth &&
                      !platform::PathHasLinkBelow(path.parent_path().string(), path.filename().string());
  if (folder) {
    // A snapshot first: every entry is visited once, whatever removing it does.
    std::vector<fs::path> children;
    for (auto it = fs::directory_iterator(path, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
      children.push_back(it->path());
    for (const fs::path& child : children) RemoveEntry(child, depth + 1);
  }
  // A dangling link looks missing to the Windows library (its status follows the link)
  // and is never removed by it: the platform call removes the link itself.
  if (!fs::remove(path, ec)) platform::DeleteFile(path.string());
}

}  // namespace

// Not fs::remove_all: the Windows library's spins forever on a dangling link.
void RemoveTree(const std::string& root) { RemoveEntry(fs::path(root), 0); }

}  // namespace qelvo::test

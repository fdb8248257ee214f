#include "tests/support/links.h"

namespace qelvo::test {

namespace fs = std::filesystem;

bool PlantFolderLink(const fs::path& target, const fs::path& link, std::string* why) {
  std::error_code ec;
  fs::create_directory_symlink(target, link, ec);
  if (ec && why) *why = ec.message();
  return !ec;
}

bool PlantFileLink(const fs::path& target, const fs::path& link, std::string* why) {
  std::error_code ec;
  fs::create_symlink(target, link, ec);
  if (ec && why) *why = ec.message();
  return !ec;
}

}  // namespace qelvo::test

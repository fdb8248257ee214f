#include "tools/qelvo-unzip/disk_refusal.h"

#include <cstdio>

namespace qelvo::tools {

bool TDiskRefusal::AskForDisk(const std::string&, const std::string& text) {
  std::fprintf(stderr,
               "qelvo-unzip: the archive is spread over removable disks (\"%s\"), and disks cannot be changed "
               "here.\nqelvo-unzip: copy every disk's file into one folder as NAME.z01, NAME.z02, ... with the "
               "last disk's file as NAME.zip, and give that last part.\n",
               text.c_str());
  return false;
}

}  // namespace qelvo::tools

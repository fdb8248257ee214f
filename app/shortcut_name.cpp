#include "app/shortcut_name.h"

#include "rtl/file_path.h"

namespace qelvo::app {

std::string ShortcutFileName(const std::string& description) {
  return rtl::ChangeFileExt(description, ".lnk");
}

}  // namespace qelvo::app

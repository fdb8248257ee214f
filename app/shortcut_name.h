#pragma once
#include <string>

namespace qelvo::app {

// The shortcut's file name: the description with its extension (the part after the
// last full stop) replaced by ".lnk", or ".lnk" appended when it has none.
std::string ShortcutFileName(const std::string& description);

}  // namespace qelvo::app

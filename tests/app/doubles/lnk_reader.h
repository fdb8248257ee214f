#pragma once
// Reads a .lnk file back with lnkinfo (liblnk-utils), an independent reader of the format.
#include <filesystem>
#include <map>
#include <string>

namespace qelvo::app::testing {

// The "Name : value" lines of lnkinfo's report.
std::map<std::string, std::string> LnkInfo(const std::filesystem::path& file);

}  // namespace qelvo::app::testing

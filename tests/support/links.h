#pragma once
// Links planted by tests that check a walk never follows them: symbolic links on POSIX;
// on Windows a junction for a folder (no privilege needed) and a symbolic link for a
// file (developer mode or the privilege).
#include <filesystem>
#include <string>

namespace qelvo::test {

// Plants link pointing at target; false with the system's reason in why when the system
// cannot make such a link.
bool PlantFolderLink(const std::filesystem::path& target, const std::filesystem::path& link, std::string* why);
bool PlantFileLink(const std::filesystem::path& target, const std::filesystem::path& link, std::string* why);

}  // namespace qelvo::test

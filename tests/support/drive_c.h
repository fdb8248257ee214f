#pragma once
// C:\ for a test: on POSIX a native folder the platform maps it to, on Windows the real
// drive (under Wine, the project's own prefix).
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace qelvo::test {

// Points C:\ at a native folder while the object lives; the previous setting (or none)
// comes back after. On Windows: removes afterwards the top-level items of C:\ that
// were not there before.
class ScopedDriveC {
 public:
  explicit ScopedDriveC(const std::string& nativeFolder);
  ~ScopedDriveC();
  ScopedDriveC(const ScopedDriveC&) = delete;
  ScopedDriveC& operator=(const ScopedDriveC&) = delete;

 private:
  std::optional<std::string> saved_;
  std::vector<std::string> before_;
};

// The native folder that is C:\ while the fixture's pointer lives.
std::string DriveCFolder(const TempFolder& candidate);

}  // namespace qelvo::test

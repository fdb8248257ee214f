#pragma once
// Points C:\ at a fresh temporary folder for the duration of a test. A Windows program's
// C:\ is the real drive (under Wine, the project's own prefix): there the test works in
// it, and what the test added at its top level is removed afterwards.
#include <gtest/gtest.h>

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

class DriveC : public ::testing::Test {
 protected:
  std::string Native(const std::string& rel) const { return root_ + "/" + rel; }
  TempFolder drive_{"drive"};
  ScopedDriveC pointer_{drive_.Native()};
  const std::string root_ = DriveCFolder(drive_);
};

}  // namespace qelvo::test

#pragma once
// Points C:\ at a fresh temporary folder for the duration of a test. A Windows program's
// C:\ is the real drive (under Wine, the project's own prefix): there the test works in
// it, and what the test added at its top level is removed afterwards.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/drive_c.h"
#include "tests/support/temp_folder.h"

namespace qelvo::test {

class DriveC : public ::testing::Test {
 protected:
  std::string Native(const std::string& rel) const { return root_ + "/" + rel; }
  TempFolder drive_{"drive"};
  ScopedDriveC pointer_{drive_.Native()};
  const std::string root_ = DriveCFolder(drive_);
};

}  // namespace qelvo::test

#pragma once
// Points C:\ at a fresh temporary folder for the duration of a test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "tests/support/temp_folder.h"

namespace qelvo::test {

// Points C:\ at a native folder while the object lives; the previous setting (or none)
// comes back after.
class ScopedDriveC {
 public:
  explicit ScopedDriveC(const std::string& nativeFolder) {
    if (const char* c = ::getenv("QELVO_DRIVE_C")) saved_ = c;
    ::setenv("QELVO_DRIVE_C", nativeFolder.c_str(), 1);
  }
  ~ScopedDriveC() {
    if (saved_) ::setenv("QELVO_DRIVE_C", saved_->c_str(), 1);
    else ::unsetenv("QELVO_DRIVE_C");
  }
  ScopedDriveC(const ScopedDriveC&) = delete;
  ScopedDriveC& operator=(const ScopedDriveC&) = delete;

 private:
  std::optional<std::string> saved_;
};

class DriveC : public ::testing::Test {
 protected:
  std::string Native(const std::string& rel) const { return root_ + "/" + rel; }
  TempFolder drive_{"drive"};
  ScopedDriveC pointer_{drive_.Native()};
  const std::string root_ = drive_.Native();
};

}  // namespace qelvo::test

#pragma once
// Points C:\ at a fresh temporary folder for the duration of a test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "tests/support/temp_folder.h"

namespace qelvo::test {

class DriveC : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qelvo-drive-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    ::setenv("QELVO_DRIVE_C", root_.c_str(), 1);
  }
  void TearDown() override {
    RemoveTree(root_);
    ::unsetenv("QELVO_DRIVE_C");
  }
  std::string Native(const std::string& rel) const { return root_ + "/" + rel; }
  std::string root_;
};

}  // namespace qelvo::test

#pragma once
// Points C:\ at a fresh temporary folder for the duration of a test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace qelvo::platform::testing {

class DriveC : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qelvo-drive-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    ::setenv("QELVO_DRIVE_C", root_.c_str(), 1);
  }
  void TearDown() override {
    // Read-only files would survive a plain remove_all as a non-root user.
    std::error_code ec;
    for (auto& e : std::filesystem::recursive_directory_iterator(root_, ec))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(root_, ec);
    ::unsetenv("QELVO_DRIVE_C");
  }
  std::string Native(const std::string& rel) const { return root_ + "/" + rel; }
  std::string root_;
};

}  // namespace qelvo::platform::testing

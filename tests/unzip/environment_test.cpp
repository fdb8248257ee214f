// Drive C of the tests is a temporary folder, so that installer-style paths such as
// "C:\QelvoPDV\" never touch the machine's own folders.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/unzip/test_support.h"

namespace qelvo::unzip::test {
namespace {

class TDriveCEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<TempFolder>();
    ::setenv("QELVO_DRIVE_C", dir_->Native().c_str(), 1);
  }
  void TearDown() override { dir_.reset(); }

 private:
  std::unique_ptr<TempFolder> dir_;
};

const auto* const kDriveC = ::testing::AddGlobalTestEnvironment(new TDriveCEnvironment);

}  // namespace
}  // namespace qelvo::unzip::test

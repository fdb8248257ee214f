// Drive C of the tests is a temporary folder, so that installer-style paths such as
// "C:\QelvoPDV\" never touch the machine's own folders (on Windows, what the tests add
// to C:\ is removed at the end).
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/drive_fixture.h"
#include "tests/unzip/test_support.h"

namespace qelvo::unzip::test {
namespace {

class TDriveCEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<TempFolder>();
    pointer_ = std::make_unique<qelvo::test::ScopedDriveC>(dir_->Native());
  }
  void TearDown() override {
    pointer_.reset();
    dir_.reset();
  }

 private:
  std::unique_ptr<TempFolder> dir_;
  std::unique_ptr<qelvo::test::ScopedDriveC> pointer_;
};

const auto* const kDriveC = ::testing::AddGlobalTestEnvironment(new TDriveCEnvironment);

}  // namespace
}  // namespace qelvo::unzip::test

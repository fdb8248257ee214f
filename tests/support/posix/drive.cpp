#include <stdlib.h>

#include "tests/support/drive_c.h"

namespace qelvo::test {

ScopedDriveC::ScopedDriveC(const std::string& nativeFolder) {
  if (const char* c = ::getenv("QELVO_DRIVE_C")) saved_ = c;
  ::setenv("QELVO_DRIVE_C", nativeFolder.c_str(), 1);
}

ScopedDriveC::~ScopedDriveC() {
  if (saved_) ::setenv("QELVO_DRIVE_C", saved_->c_str(), 1);
  else ::unsetenv("QELVO_DRIVE_C");
}

}  // namespace qelvo::test

namespace qelvo::test {
std::string DriveCFolder(const TempFolder& candidate) { return candidate.Native(); }
}  // namespace qelvo::test

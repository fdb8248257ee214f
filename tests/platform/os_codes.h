#pragma once
// The error numbers the platform calls record, in the system's own numbering.
namespace qelvo::platform::test {

struct TOsCodes {
  int NotADirectory;  // a file stands where a folder is needed
  int Exists;         // the target of a rename is there
  int AccessDenied;   // a read-only file cannot be deleted
  int NotFound;       // the file is not there
  int DiskFull;       // a write found no room
};
extern const TOsCodes kOsCodes;

}  // namespace qelvo::platform::test

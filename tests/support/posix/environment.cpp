#include <stdlib.h>

#include "tests/support/environment.h"

namespace qelvo::test {

const char* const kTempFolderVariable = "TMPDIR";

bool UnderWine() { return false; }

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  if (value) ::setenv(name.c_str(), value->c_str(), 1);
  else ::unsetenv(name.c_str());
}

bool WineLostTheRun(int, const std::string&) { return false; }

}  // namespace qelvo::test

#include <stdlib.h>

#include "tests/support/environment.h"

namespace qelvo::test {

const char* const kTempFolderVariable = "TMP";

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  // An empty value removes the variable.
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

}  // namespace qelvo::test

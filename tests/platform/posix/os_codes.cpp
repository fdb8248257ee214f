#include <cerrno>

#include "tests/platform/os_codes.h"

namespace qelvo::platform::test {
const TOsCodes kOsCodes = {ENOTDIR, EEXIST, EACCES, ENOENT, ENOSPC};
}

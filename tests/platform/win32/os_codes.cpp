#include "tests/platform/os_codes.h"

namespace qelvo::platform::test {
// ERROR_DIRECTORY, ERROR_ALREADY_EXISTS, ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND,
// ERROR_DISK_FULL.
const TOsCodes kOsCodes = {267, 183, 5, 2, 112};
}

#pragma once
// The OS error number of the last failed platform call on this thread, and its text.
#include <string>

namespace qelvo::platform {

int GetLastOSError();
void SetLastOSError(int code);
std::string SysErrorMessage(int code);

// Error numbers platform calls record for failures that have no native counterpart.
inline constexpr int kErrorPathNotMapped = 3;  // as "path not found"

}  // namespace qelvo::platform

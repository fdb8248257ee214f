#pragma once
// Internal to platform/win32: the Windows headers, without the macros that would rename
// this layer's own functions (DeleteFile, GetTempPath, ...), and the UTF-8 <-> UTF-16
// conversions every call needs (wide_text.h). Include after the platform header being
// implemented.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef GetTempPath
#undef GetTempFileName
#undef GetDriveType
#undef CreateDirectory
#undef ReplaceFile

#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace qelvo::platform::win32 {

// Records GetLastError as the last OS error and returns the failure value.
template <typename T>
T Fail(T value) {
  SetLastOSError(static_cast<int>(::GetLastError()));
  return value;
}

}  // namespace qelvo::platform::win32

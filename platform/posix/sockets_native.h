#pragma once
// Internal helpers of the POSIX sockets module.
#include "platform/sockets.h"

namespace qelvo::platform::sockets_native {

int MapErrno(int nativeErrno);
int MapGaiError(int rc, int savedErrno);
int MapHErrno(int hErrno);

}  // namespace qelvo::platform::sockets_native

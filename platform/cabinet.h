#pragma once
// Recognising cabinet files, which only the system's cabinet library knows how to do.
#include "rtl/stream.h"

namespace qelvo::platform {

enum class TCabinetProbe { Cabinet, NotCabinet, NoLibrary };

// Asks the cabinet library (cabinet.dll, loaded on first use) whether the stream holds a
// cabinet; the stream's position is kept. Systems without the library answer NotCabinet.
TCabinetProbe ProbeCabinetStream(rtl::TStream& stream);

}  // namespace qelvo::platform

#include "platform/cabinet.h"

namespace qelvo::platform {

// No cabinet library here: nothing is recognised as a cabinet.
TCabinetProbe ProbeCabinetStream(rtl::TStream&) { return TCabinetProbe::NotCabinet; }

}  // namespace qelvo::platform

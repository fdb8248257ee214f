#pragma once
// The download figures line of the main window: "1,500 / 10,000 KB  -  150.00 KB/s  -  00:00:59".
#include <cstdint>
#include <string>

#include "rtl/number_format.h"

namespace qelvo::app {

// Seconds as hh:mm:ss (hours not wrapped, at least two digits each).
std::string FormatElapsed(uint16_t seconds);

std::string FormatConnectionInfo(int32_t bytesToDownload, int32_t bytesDownloaded, double averageSpeed,
                                 uint16_t seconds, const rtl::TFormatSettings& fs);

}  // namespace qelvo::app

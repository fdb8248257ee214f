#pragma once
// The progress line qelvo-get redraws from the monitor event.
#include <cstdint>
#include <string>

namespace qelvo::tools {

// "  1536000 / 10240000 bytes  15%  150.00 KB/s  00:00:59 left"; the time is the
// event's Sec (remaining seconds once a speed is known), shown as hh:mm:ss.
std::string FormatProgressLine(int32_t bytesToDownload, int32_t bytesDownloaded, double averageSpeed, uint16_t sec);

}  // namespace qelvo::tools

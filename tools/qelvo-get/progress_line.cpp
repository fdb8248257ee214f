#include "tools/qelvo-get/progress_line.h"

#include <cstdio>

namespace qelvo::tools {

std::string FormatProgressLine(int32_t bytesToDownload, int32_t bytesDownloaded, double averageSpeed, uint16_t sec) {
  char buf[160];
  if (bytesToDownload > 0) {
    const long long pct = static_cast<long long>(bytesDownloaded) * 100 / bytesToDownload;
    std::snprintf(buf, sizeof buf, "%11d / %d bytes  %3lld%%  %.2f KB/s  %02u:%02u:%02u left", bytesDownloaded,
                  bytesToDownload, pct, averageSpeed, sec / 3600u, sec / 60u % 60u, sec % 60u);
  } else {
    std::snprintf(buf, sizeof buf, "%11d bytes  %.2f KB/s", bytesDownloaded, averageSpeed);
  }
  return buf;
}

}  // namespace qelvo::tools

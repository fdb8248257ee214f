#include "app/progress_figures.h"

#include <cstdio>

namespace qelvo::app {

std::string FormatElapsed(uint16_t seconds) {
  const unsigned t = seconds;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2u:%.2u:%.2u", t / 3600, (t / 60) % 60, t % 60);
  return buf;
}

std::string FormatConnectionInfo(int32_t bytesToDownload, int32_t bytesDownloaded, double averageSpeed,
                                 uint16_t seconds, const rtl::TFormatSettings& fs) {
  std::string text = rtl::FormatFloat("###,###,##0", bytesDownloaded / 1024.0, fs);
  text += " / ";
  text += rtl::FormatFloat("###,###,##0", bytesToDownload / 1024.0, fs);
  text += " KB  -  ";
  text += rtl::FormatFloat("0.00 KB/s", averageSpeed, fs);
  text += "  -  ";
  text += FormatElapsed(seconds);
  return text;
}

}  // namespace qelvo::app

#include "download/monitor_figures.h"

#include <algorithm>
#include <cmath>

namespace qelvo::download {

namespace {

// Low 16 bits of the integer part, truncated towards zero; values beyond any byte count
// (never reached with 32-bit counts) give 0 rather than an undefined conversion.
uint16_t Low16OfInteger(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.0e18) return 0;
  return static_cast<uint16_t>(static_cast<uint64_t>(static_cast<int64_t>(value)));
}

}  // namespace

TMonitorFigures ComputeMonitorFigures(rtl::TDateTime elapsed, int32_t bytesToDownload, int32_t bytesDownloaded,
                                      double previousSpeed) {
  TMonitorFigures f;
  if (elapsed < 0) elapsed = 0;  // a clock set back must not show a negative time
  int h, m, s, ms;
  rtl::DecodeTime(elapsed, h, m, s, ms);
  f.Hour = static_cast<uint16_t>(h);
  f.Min = static_cast<uint16_t>(m);
  uint16_t t = static_cast<uint16_t>(h * 3600 + m * 60 + s);
  const double e = t + ms / 1000.0;
  f.AverageSpeed = previousSpeed;
  if (e > 0) f.AverageSpeed = (bytesDownloaded / 1024.0) / e;
  // A time left needs a speed and a known size; it is never negative.
  if (f.AverageSpeed > 0 && bytesToDownload > 0) {
    const double remaining = std::max(0.0, (static_cast<double>(bytesToDownload) - bytesDownloaded) / 1024.0);
    t = Low16OfInteger(remaining / f.AverageSpeed);
  }
  f.Sec = t;
  return f;
}

}  // namespace qelvo::download

#pragma once
// The figures of one monitor notification: average speed in KB/s (1 KB = 1024 bytes)
// since the transfer started, the elapsed hours and minutes, and in Sec the estimated
// remaining seconds once a speed is known (the elapsed whole seconds before that).
// Time fields are 16-bit and wrap; the resumed bytes count as received.
#include <cstdint>

#include "rtl/date_time.h"

namespace qelvo::download {

struct TMonitorFigures {
  double AverageSpeed = 0;
  uint16_t Hour = 0;
  uint16_t Min = 0;
  uint16_t Sec = 0;
};

// elapsed: now - start time, in days (a start time of 0 yields the time of day);
// previousSpeed is kept when no time has elapsed.
TMonitorFigures ComputeMonitorFigures(rtl::TDateTime elapsed, int32_t bytesToDownload, int32_t bytesDownloaded,
                                      double previousSpeed);

}  // namespace qelvo::download

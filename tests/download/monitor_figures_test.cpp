#include "download/monitor_figures.h"

#include <gtest/gtest.h>

namespace qelvo::download {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

struct FiguresCase {
  const char* what;
  double elapsedSeconds;
  int32_t toDownload;
  int32_t downloaded;
  double previousSpeed;
  double speed;
  uint16_t hour, min, sec;
};

TEST(MonitorFigures, SpeedAndTimeFields) {
  const FiguresCase cases[] = {
      {"no time elapsed, no speed yet: Sec is the elapsed seconds", 0, 0, 100, 0, 0, 0, 0, 0},
      {"no time elapsed keeps the earlier speed", 0, 10240, 5120, 5.0, 5.0, 0, 0, 1},
      {"1 KB/s with 8 KB to go", 2, 10240, 2048, 0, 1.0, 0, 0, 8},
      {"milliseconds count in the speed; the estimate is truncated", 1.5, 6144, 3072, 0, 2.0, 0, 0, 1},
      {"nothing received: elapsed time in all three fields", 3725, 0, 0, 0, 0, 1, 2, 3725},
      {"elapsed seconds wrap at 16 bits", 19 * 3600, 0, 0, 0, 0, 19, 0, 68400 - 65536},
      {"whole days are dropped", 86400 + 10, 0, 0, 0, 0, 0, 0, 10},
      // No time left from an unknown size or below zero (no hours left for a finished file).
      {"unknown size: the elapsed seconds", 1, 0, 6144, 0, 6.0, 0, 0, 1},
      {"received more than announced: nothing left", 1, 4096, 6144, 0, 6.0, 0, 0, 0},
      {"resumed bytes count as received", 4, 2048 * 1024, 1024 * 1024, 0, 256.0, 0, 0, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TMonitorFigures f = ComputeMonitorFigures(c.elapsedSeconds * kSecond, c.toDownload, c.downloaded,
                                                    c.previousSpeed);
    EXPECT_DOUBLE_EQ(f.AverageSpeed, c.speed);
    EXPECT_EQ(f.Hour, c.hour);
    EXPECT_EQ(f.Min, c.min);
    EXPECT_EQ(f.Sec, c.sec);
  }
}

}  // namespace
}  // namespace qelvo::download

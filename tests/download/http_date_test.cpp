// The dates of If-Range: a part file's time stamp names the second it falls in, the way a
// server turns its file time into Last-Modified; a sub-second part never moves it on.
#include <gtest/gtest.h>

#include "download/http_validator.h"

namespace qelvo::download::test {
namespace {

TEST(HttpDate, FormatsTheSecondTheTimeFallsIn) {
  // 2026-12-10 22:47:16 as a day number.
  const rtl::TDateTime second = 46366.0 + (22 * 3600 + 47 * 60 + 16) / 86400.0;
  struct TCase {
    double Offset;  // seconds after 22:47:16
    const char* Expected;
  };
  for (const TCase& c : {TCase{0.0, "Thu, 10 Dec 2026 22:47:16 GMT"}, TCase{0.3, "Thu, 10 Dec 2026 22:47:16 GMT"},
                         TCase{0.7, "Thu, 10 Dec 2026 22:47:16 GMT"}, TCase{0.999, "Thu, 10 Dec 2026 22:47:16 GMT"},
                         TCase{1.0, "Thu, 10 Dec 2026 22:47:17 GMT"}, TCase{-0.2, "Thu, 10 Dec 2026 22:47:15 GMT"},
                         TCase{43.0, "Thu, 10 Dec 2026 22:47:59 GMT"}, TCase{44.0, "Thu, 10 Dec 2026 22:48:00 GMT"}}) {
    SCOPED_TRACE(c.Offset);
    EXPECT_EQ(FormatHttpDate(second + c.Offset / 86400.0), c.Expected);
  }
}

TEST(HttpDate, RoundTripsEverySecondOfADay) {
  // Whole seconds survive the double both ways, the last one of the day included.
  for (int s = 0; s < 86400; s += 7) {
    const rtl::TDateTime value = 46366.0 + s / 86400.0;
    rtl::TDateTime parsed = 0;
    ASSERT_TRUE(ParseHttpDate(FormatHttpDate(value), parsed)) << s;
    ASSERT_EQ(FormatHttpDate(parsed), FormatHttpDate(value)) << s;
    ASSERT_NEAR(parsed, value, 0.001 / 86400.0) << s;
  }
}

}  // namespace
}  // namespace qelvo::download::test

#include <gtest/gtest.h>

#include "rtl/date_time.h"
#include "rtl/exceptions.h"

namespace qelvo::rtl {
namespace {

TEST(DateTime, KnownDaysSinceTheEpoch) {
  struct Case {
    int y, m, d;
    double days;
  } cases[] = {{1899, 12, 30, 0}, {1900, 1, 1, 2}, {1980, 1, 1, 29221}, {2000, 1, 1, 36526},
               {2000, 2, 29, 36585}, {2107, 12, 31, 75971}, {1, 1, 1, -693593}};
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    DecodeDate(c.days, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
  }
}

TEST(DateTime, TimeRoundTripsToTheMillisecond) {
  const TDateTime dt = EncodeDate(2026, 12, 10) + EncodeTime(23, 59, 58, 999);
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s, ms);
  EXPECT_EQ(y, 2026);
  EXPECT_EQ(mo, 12);
  EXPECT_EQ(d, 10);
  EXPECT_EQ(h, 23);
  EXPECT_EQ(mi, 59);
  EXPECT_EQ(s, 58);
  EXPECT_EQ(ms, 999);
}

TEST(DateTime, InvalidArgumentsRaiseTheConversionTexts) {
  struct Case {
    int a, b, c;
  } dates[] = {{2001, 2, 29}, {2000, 13, 1}, {2000, 0, 1}, {0, 1, 1}, {2000, 4, 31}};
  for (const auto& c : dates) {
    try {
      EncodeDate(c.a, c.b, c.c);
      ADD_FAILURE() << c.a << "-" << c.b << "-" << c.c;
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    }
  }
  try {
    EncodeTime(24, 0, 0, 0);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to time encode");
  }
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

}  // namespace
}  // namespace qelvo::rtl

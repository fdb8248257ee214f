#include <gtest/gtest.h>

#include "rtl/number_format.h"

namespace qelvo::rtl {
namespace {

TEST(FormatFloat, ProgressPatternsWithBothSeparatorStyles) {
  const TFormatSettings english{",", "."};
  const TFormatSettings brazil{".", ","};
  struct Case {
    const char* pattern;
    double value;
    const char* en;
    const char* br;
  } cases[] = {
      {"###,###,##0", 1500, "1,500", "1.500"},
      {"###,###,##0", 10000, "10,000", "10.000"},
      {"###,###,##0", 0, "0", "0"},
      {"###,###,##0", 999.5, "1,000", "1.000"},  // half rounds away from zero
      {"###,###,##0", 1234567.49, "1,234,567", "1.234.567"},
      {"###,###,##0", 2097151.999, "2,097,152", "2.097.152"},
      {"###,###,##0", 0.4, "0", "0"},
      {"0.00 KB/s", 150, "150.00 KB/s", "150,00 KB/s"},
      {"0.00 KB/s", 0, "0.00 KB/s", "0,00 KB/s"},
      {"0.00 KB/s", 1234.005, "1234.01 KB/s", "1234,01 KB/s"},
      {"0.00 KB/s", 0.125, "0.13 KB/s", "0,13 KB/s"},
      {"0.00", -1.5, "-1.50", "-1,50"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatFloat(c.pattern, c.value, english), c.en) << c.pattern << " " << c.value;
    EXPECT_EQ(FormatFloat(c.pattern, c.value, brazil), c.br) << c.pattern << " " << c.value;
  }
}

}  // namespace
}  // namespace qelvo::rtl

#include "download/http_validator.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace qelvo::download {

namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool Digits(const std::string& s, size_t at, size_t n, int& out) {
  out = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

bool ParseHttpDate(const std::string& text, rtl::TDateTime& value) {
  // "Sun, 06 Nov 1994 08:49:37 GMT": fixed positions.
  if (text.size() != 29 || text.compare(3, 2, ", ") != 0 || text[7] != ' ' || text[11] != ' ' || text[16] != ' ' ||
      text[19] != ':' || text[22] != ':' || text.compare(25, 4, " GMT") != 0)
    return false;
  int day, year, hour, min, sec;
  if (!Digits(text, 5, 2, day) || !Digits(text, 12, 4, year) || !Digits(text, 17, 2, hour) ||
      !Digits(text, 20, 2, min) || !Digits(text, 23, 2, sec))
    return false;
  int month = 0;
  while (month < 12 && text.compare(8, 3, kMonths[month]) != 0) ++month;
  if (month == 12) return false;
  rtl::TDateTime date, time;
  if (!rtl::TryEncodeDate(year, month + 1, day, date) || !rtl::TryEncodeTime(hour, min, sec, 0, time)) return false;
  value = date + time;
  return true;
}

std::string FormatHttpDate(rtl::TDateTime value) {
  int y, mo, d, h, mi, s, ms;
  // The second the time falls in, as a server derives Last-Modified from its file time:
  // a part file stamped at 16.7 s names 16, not 17 (the half millisecond absorbs the
  // double's rounding of a whole second).
  value = std::floor(value * 86400.0 + 0.0005) / 86400.0;
  rtl::DecodeDate(value, y, mo, d);
  rtl::DecodeTime(value, h, mi, s, ms);
  // Day 0 of TDateTime (1899-12-30) was a Saturday.
  const int weekday = ((static_cast<long>(std::floor(value)) % 7) + 7 + 6) % 7;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[weekday], d, kMonths[mo - 1], y, h, mi,
                s);
  return buf;
}

}  // namespace qelvo::download

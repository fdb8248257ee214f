#include "rtl/date_time.h"

#include <cmath>

#include "rtl/exceptions.h"

namespace qelvo::rtl {
namespace {
constexpr int64_t kMsPerDay = 86400000;
// 1899-12-30 as a 1-based day count from 0001-01-01.
constexpr int64_t kDateDelta = 693594;

int64_t DaysBeforeYear(int y) {
  const int64_t p = y - 1;
  return p * 365 + p / 4 - p / 100 + p / 400;
}
}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  int64_t days = DaysBeforeYear(year);
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  days += day;
  out = static_cast<double>(days - kDateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError(kInvalidDateEncode);
  return r;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) return false;
  out = static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / kMsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime r;
  if (!TryEncodeTime(hour, min, sec, msec, r)) throw EConvertError(kInvalidTimeEncode);
  return r;
}

namespace {
// Whole milliseconds since 1899-12-30, rounded, with the time part taken as positive
// (negative values count back days but forward time, as the classic encoding does).
void Split(TDateTime dt, int64_t& days, int64_t& ms) {
  const double whole = std::trunc(dt);
  days = static_cast<int64_t>(whole);
  ms = static_cast<int64_t>(std::llround(std::fabs(dt - whole) * kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    days += dt < 0 ? -1 : 1;
  }
}
}  // namespace

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t days, ms;
  Split(dt, days, ms);
  int64_t n = days + kDateDelta - 1;  // whole days since 0001-01-01
  if (n < 0) {
    year = month = day = 0;
    return;
  }
  int y = static_cast<int>(n / 366) + 1;
  while (DaysBeforeYear(y + 1) <= n) ++y;
  n -= DaysBeforeYear(y);
  int m = 1;
  while (n >= DaysInMonth(y, m)) {
    n -= DaysInMonth(y, m);
    ++m;
  }
  year = y;
  month = m;
  day = static_cast<int>(n) + 1;
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  int64_t days, ms;
  Split(dt, days, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

}  // namespace qelvo::rtl

#pragma once
// TDateTime: days since 1899-12-30 as a double; the fraction is the time of day.
#include <cstdint>

namespace qelvo::rtl {

using TDateTime = double;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Raise EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);

void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);

}  // namespace qelvo::rtl

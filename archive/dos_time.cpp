#include "archive/dos_time.h"



namespace qelvo::archive {

rtl::TDateTime DosStampToDateTime(uint16_t date, uint16_t time) {
  const int day = date & 0x1F;
  const int month = (date >> 5) & 0x0F;
  const int year = 1980 + (date >> 9);
  const int seconds = (time & 0x1F) * 2;
  const int minutes = (time >> 5) & 0x3F;
  const int hours = time >> 11;
  // EncodeDate/EncodeTime raise the conversion errors for out-of-range parts.
  const rtl::TDateTime d = rtl::EncodeDate(year, month, day);
  const rtl::TDateTime t = rtl::EncodeTime(hours, minutes, seconds, 0);
  return d + t;
}

TArcDosStamp DateTimeToDosStamp(rtl::TDateTime value) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  rtl::DecodeDate(value, year, month, day);
  rtl::DecodeTime(value, hour, minute, second, msec);
  if (year < 1980 || year > 2107) return {0, 0};
  const auto dosDate = static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
  const auto dosTime = static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2);
  return {dosDate, dosTime};
}

}  // namespace qelvo::archive

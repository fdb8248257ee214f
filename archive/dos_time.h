#pragma once
// MS-DOS date and time words (local time, 2-second resolution):
//   time: bits 0-4 seconds / 2, 5-10 minutes, 11-15 hours;
//   date: bits 0-4 day, 5-8 month, 9-15 years since 1980.
#include <cstdint>

#include "rtl/date_time.h"

namespace qelvo::archive {

// Raises EConvertError for a day or month of 0, a day beyond the month, hour >= 24,
// minute >= 60 or a seconds field of 30 or 31.
rtl::TDateTime DosStampToDateTime(uint16_t date, uint16_t time);

struct TArcDosStamp {
  uint16_t Date;
  uint16_t Time;
};
// Both words 0 when the year is outside 1980..2107.
TArcDosStamp DateTimeToDosStamp(rtl::TDateTime value);

}  // namespace qelvo::archive

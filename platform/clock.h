#pragma once
#include <cstdint>

#include "rtl/date_time.h"

namespace qelvo::platform {

int64_t QueryPerformanceCounter();
int64_t QueryPerformanceFrequency();
// Milliseconds since an arbitrary start; wraps at 2^32 like the Windows tick.
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);
// The local date and time now.
rtl::TDateTime Now();
// Seconds to add to local time to get UTC now (the Windows bias, daylight
// saving included when in effect).
int32_t CurrentBiasSeconds();

}  // namespace qelvo::platform

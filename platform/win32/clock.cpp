#include "platform/clock.h"

#include "platform/win32/windows_api.h"

namespace qelvo::platform {

int64_t QueryPerformanceCounter() {
  LARGE_INTEGER v;
  ::QueryPerformanceCounter(&v);
  return v.QuadPart;
}

int64_t QueryPerformanceFrequency() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  return frequency;
}

// From the performance counter: the system tick advances in steps of 10 to 16 ms, too
// coarse for the short intervals the download figures measure.
uint32_t GetTickCount() {
  const int64_t c = QueryPerformanceCounter();
  const int64_t f = QueryPerformanceFrequency();
  return static_cast<uint32_t>((c / f) * 1000 + (c % f) * 1000 / f);
}

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

rtl::TDateTime Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return rtl::EncodeDate(st.wYear, st.wMonth, st.wDay) +
         rtl::EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

int32_t CurrentBiasSeconds() {
  TIME_ZONE_INFORMATION tz;
  const DWORD mode = ::GetTimeZoneInformation(&tz);
  LONG bias = tz.Bias;
  if (mode == TIME_ZONE_ID_DAYLIGHT) bias += tz.DaylightBias;
  else if (mode == TIME_ZONE_ID_STANDARD) bias += tz.StandardBias;
  return static_cast<int32_t>(bias) * 60;
}

}  // namespace qelvo::platform

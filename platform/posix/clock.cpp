#include "platform/clock.h"

#include <cerrno>
#include <ctime>

#include <sched.h>

namespace qelvo::platform {

int64_t QueryPerformanceCounter() {
  struct timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t QueryPerformanceFrequency() { return 1000000000LL; }

uint32_t GetTickCount() { return static_cast<uint32_t>(QueryPerformanceCounter() / 1000000LL); }

void Sleep(uint32_t milliseconds) {
  if (milliseconds == 0) {
    // Sleep(0) gives up the rest of the time slice. This kernel preempts on its own, so a
    // caller that yields on every step (a receive loop) would mostly trade the processor
    // back and forth with its peer; one yield per millisecond keeps the courtesy without
    // that cost. nanosleep(0) would sleep a timer tick instead.
    thread_local int64_t lastYield = 0;
    if (QueryPerformanceCounter() - lastYield >= 1000000) {
      ::sched_yield();
      lastYield = QueryPerformanceCounter();
    }
    return;
  }
  struct timespec req{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&req, &req) != 0 && errno == EINTR) {
  }
}

rtl::TDateTime Now() {
  struct timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm{};
  ::localtime_r(&ts.tv_sec, &tm);
  return rtl::EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
         rtl::EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

int32_t CurrentBiasSeconds() {
  const time_t now = ::time(nullptr);
  struct tm tm{};
  ::localtime_r(&now, &tm);
  return static_cast<int32_t>(-tm.tm_gmtoff);
}

}  // namespace qelvo::platform

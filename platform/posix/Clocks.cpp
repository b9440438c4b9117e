// The clocks of the POSIX platform layer.

#include "Clocks.h"

#include <mutex>

namespace plat::detail {

uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

void LoadTimeZone() {
  static std::once_flag once;
  std::call_once(once, [] { tzset(); });
}

void ToSystemTime(const tm& local, long nanoseconds, SystemTime* out) {
  out->wYear = static_cast<uint16_t>(local.tm_year + 1900);
  out->wMonth = static_cast<uint16_t>(local.tm_mon + 1);
  out->wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
  out->wDay = static_cast<uint16_t>(local.tm_mday);
  out->wHour = static_cast<uint16_t>(local.tm_hour);
  out->wMinute = static_cast<uint16_t>(local.tm_min);
  out->wSecond = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  out->wMilliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
}

}  // namespace plat::detail

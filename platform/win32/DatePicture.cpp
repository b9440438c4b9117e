// The Windows date and time picture formatters: GetDateFormatA and
// GetTimeFormatA with flags 0.

#include "plat/DatePicture.h"

#include <windows.h>

namespace plat {
namespace {

SYSTEMTIME ToSystemTime(const SystemTime& t) {
  SYSTEMTIME st;
  st.wYear = t.wYear;
  st.wMonth = t.wMonth;
  st.wDayOfWeek = t.wDayOfWeek;
  st.wDay = t.wDay;
  st.wHour = t.wHour;
  st.wMinute = t.wMinute;
  st.wSecond = t.wSecond;
  st.wMilliseconds = t.wMilliseconds;
  return st;
}

}  // namespace

int FormatDate(uint32_t locale, const SystemTime* time, const char* picture, char* buf, int size) {
  if (time == nullptr) return ::GetDateFormatA(locale, 0, nullptr, picture, buf, size);
  const SYSTEMTIME st = ToSystemTime(*time);
  return ::GetDateFormatA(locale, 0, &st, picture, buf, size);
}

int FormatTime(uint32_t locale, const SystemTime* time, const char* picture, char* buf, int size) {
  if (time == nullptr) return ::GetTimeFormatA(locale, 0, nullptr, picture, buf, size);
  const SYSTEMTIME st = ToSystemTime(*time);
  return ::GetTimeFormatA(locale, 0, &st, picture, buf, size);
}

}  // namespace plat

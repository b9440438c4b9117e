// Local time and the millisecond tick counter: GetLocalTime and GetTickCount.

#include "plat/Clock.h"

#include <windows.h>

namespace plat {

void LocalTime(SystemTime* now) {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  now->wYear = st.wYear;
  now->wMonth = st.wMonth;
  now->wDayOfWeek = st.wDayOfWeek;
  now->wDay = st.wDay;
  now->wHour = st.wHour;
  now->wMinute = st.wMinute;
  now->wSecond = st.wSecond;
  now->wMilliseconds = st.wMilliseconds;
}

uint32_t TickCount() { return ::GetTickCount(); }

}  // namespace plat

// The error codes of failed Windows calls, and the time fields they give
// (internal to the Windows platform layer).
#pragma once

#include <windows.h>

#include <cstdint>

#include "plat/Clock.h"

namespace plat::detail {

// The thread's last error, made non-zero for a failure that left it 0.
inline uint32_t Failure() {
  DWORD code = ::GetLastError();
  if (code == 0) {
    code = ERROR_INTERNAL_ERROR;
    ::SetLastError(code);
  }
  return code;
}

// The fields of a SYSTEMTIME as the platform's SystemTime.
inline void CopySystemTime(const SYSTEMTIME& st, SystemTime* time) {
  time->wYear = st.wYear;
  time->wMonth = st.wMonth;
  time->wDayOfWeek = st.wDayOfWeek;
  time->wDay = st.wDay;
  time->wHour = st.wHour;
  time->wMinute = st.wMinute;
  time->wSecond = st.wSecond;
  time->wMilliseconds = st.wMilliseconds;
}

// Sets the last error to `code` and returns it.
inline uint32_t Fail(uint32_t code) {
  ::SetLastError(code);
  return code;
}

}  // namespace plat::detail

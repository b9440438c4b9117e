// The error codes of failed Windows calls (internal to the Windows platform
// layer).
#pragma once

#include <windows.h>

#include <cstdint>

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

// Sets the last error to `code` and returns it.
inline uint32_t Fail(uint32_t code) {
  ::SetLastError(code);
  return code;
}

}  // namespace plat::detail

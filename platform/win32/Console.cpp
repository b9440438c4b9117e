// The console on Windows: OEM bytes go to standard output through the C
// runtime's buffered stream unchanged; the console shows the OEM code page.

#include "plat/Console.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "plat/Error.h"

namespace plat {
namespace {

// Records a failed write on standard output, by the C runtime's errno.
bool FailStream(int error) {
  if (error == EBADF) {
    ::SetLastError(ERROR_INVALID_HANDLE);
  } else if (error == ENOSPC) {
    ::SetLastError(ERROR_DISK_FULL);
  } else {
    ::SetLastError(ERROR_GEN_FAILURE);
  }
  return false;
}

}  // namespace

bool OemToUtf8(const char* bytes, size_t n, uint32_t oemCodePage, std::string* out) {
  if (oemCodePage != kCodePageOemUs && oemCodePage != kCodePageOemRussian) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  out->clear();
  if (n == 0) return true;
  const int length = static_cast<int>(n);
  const int wideLength = ::MultiByteToWideChar(oemCodePage, 0, bytes, length, nullptr, 0);
  if (wideLength <= 0) return false;
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  ::MultiByteToWideChar(oemCodePage, 0, bytes, length, &wide[0], wideLength);
  const int utf8Length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (utf8Length <= 0) return false;
  out->resize(static_cast<size_t>(utf8Length));
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &(*out)[0], utf8Length, nullptr, nullptr);
  return true;
}

void StartConsole() {}

bool WriteConsoleBytes(const char* bytes, size_t n) {
  if (n == 0) return true;
  errno = 0;
  if (std::fwrite(bytes, 1, n, stdout) == n) return true;
  return FailStream(errno);
}

bool FlushConsole() {
  errno = 0;
  if (std::fflush(stdout) == 0) return true;
  return FailStream(errno);
}

uint32_t ConsoleOutputCodePage() { return ::GetOEMCP(); }

}  // namespace plat

// The console on POSIX: OEM bytes go to standard output through stdio,
// converted to UTF-8 when the locale's codeset is UTF-8 (a Linux terminal
// does not show code page 866 or 437), unchanged otherwise.

#include "plat/Console.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "CodePages.h"
#include "OemTables.h"
#include "plat/Error.h"

namespace plat {
namespace {

// True when the variable that decides the character set (LC_ALL, LC_CTYPE,
// LANG: the first that is set and not empty) names the UTF-8 codeset, as in
// "ru_RU.UTF-8", "C.utf8" or "de_DE.UTF-8@euro". Read at every call, so
// that the output follows the environment the program runs in.
bool LocaleCodesetIsUtf8() {
  const char* dot = std::strchr(detail::LocaleVariable({"LC_ALL", "LC_CTYPE", "LANG"}), '.');
  if (dot == nullptr) return false;
  const char* codeset = dot + 1;
  const size_t length = std::strcspn(codeset, "@");
  return (length == 5 && strncasecmp(codeset, "utf-8", 5) == 0) ||
         (length == 4 && strncasecmp(codeset, "utf8", 4) == 0);
}

// Records a failed write on standard output.
bool FailStream(int error) {
  switch (error) {
    case EBADF: SetLastError(kErrorInvalidHandle); break;
    case ENOSPC: SetLastError(kErrorDiskFull); break;
    default: SetLastError(kErrorGenFailure); break;
  }
  return false;
}

bool Put(const char* bytes, size_t n) {
  errno = 0;
  if (std::fwrite(bytes, 1, n, stdout) == n) return true;
  return FailStream(errno);
}

void AppendUtf8(uint16_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(char(c));
  } else if (c < 0x800) {
    out->push_back(char(0xC0 | (c >> 6)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else {
    out->push_back(char(0xE0 | (c >> 12)));
    out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  }
}

}  // namespace

bool OemToUtf8(const char* bytes, size_t n, uint32_t oemCodePage, std::string* out) {
  const uint16_t* upper = nullptr;
  if (oemCodePage == kCodePageOemUs) {
    upper = detail::kOem437ToUnicode;
  } else if (oemCodePage == kCodePageOemRussian) {
    upper = detail::kOem866ToUnicode;
  } else {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  out->clear();
  out->reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    AppendUtf8(byte < 0x80 ? byte : upper[byte - 0x80], out);
  }
  return true;
}

bool WriteConsoleBytes(const char* bytes, size_t n) {
  if (n == 0) return true;
  if (!LocaleCodesetIsUtf8()) return Put(bytes, n);
  std::string text;
  OemToUtf8(bytes, n, detail::UserCodePage().oem, &text);
  return Put(text.data(), text.size());
}

bool FlushConsole() {
  errno = 0;
  if (std::fflush(stdout) == 0) return true;
  return FailStream(errno);
}

uint32_t ConsoleOutputCodePage() {
  return LocaleCodesetIsUtf8() ? uint32_t(kCodePageUtf8) : detail::UserCodePage().oem;
}

}  // namespace plat

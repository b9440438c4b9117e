// The console on POSIX: OEM bytes go to standard output through stdio, in
// the codeset of the user's terminal, which a Linux terminal needs to show
// code page 866 or 437 text. The codeset comes from the first set of
// LC_ALL, LC_CTYPE, LANG ("ru_RU.KOI8-R", "C.utf8", "de_DE.UTF-8@euro"),
// read at every write so that the output follows the environment the program
// runs in: UTF-8 gets UTF-8, any other codeset iconv knows gets the text
// converted (characters it lacks as '?'), and no codeset or one iconv does
// not know gets the OEM bytes unchanged.

#include "plat/Console.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>

#include "CodePages.h"
#include "Codeset.h"
#include "OemTables.h"
#include "plat/Error.h"

namespace plat {
namespace {

// The codeset standard output receives: UTF-8, another codeset, or "" for
// the OEM bytes unchanged.
std::string OutputCodeset() {
  std::string codeset = detail::LocaleCodeset();
  if (codeset.empty() || detail::IsUtf8Codeset(codeset)) return codeset;
  // A codeset iconv does not know gets the OEM bytes.
  std::string probe;
  if (!detail::ConvertCodeset("UTF-8", codeset.c_str(), "", 0, &probe)) return std::string();
  return codeset;
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

void StartConsole() {
  // A reader that has gone away (yxtk -l | true) makes writes fail with
  // EPIPE instead of ending the process after its action has run.
  signal(SIGPIPE, SIG_IGN);
}

bool WriteConsoleBytes(const char* bytes, size_t n) {
  if (n == 0) return true;
  const std::string codeset = OutputCodeset();
  if (codeset.empty()) return Put(bytes, n);
  std::string text;
  OemToUtf8(bytes, n, detail::UserCodePage().oem, &text);
  if (!detail::IsUtf8Codeset(codeset)) {
    std::string converted;
    if (!detail::ConvertCodeset("UTF-8", codeset.c_str(), text.data(), text.size(), &converted)) {
      return Put(bytes, n);
    }
    text.swap(converted);
  }
  return Put(text.data(), text.size());
}

bool FlushConsole() {
  errno = 0;
  if (std::fflush(stdout) == 0) return true;
  return FailStream(errno);
}

uint32_t ConsoleOutputCodePage() {
  const std::string codeset = OutputCodeset();
  if (codeset.empty()) return detail::UserCodePage().oem;
  return detail::IsUtf8Codeset(codeset) ? uint32_t(kCodePageUtf8) : 0;
}

}  // namespace plat

// The console: standard output receives texts in the OEM code page, through
// the C runtime's buffered stream. On Windows the bytes pass unchanged; on
// POSIX they are converted from the user's OEM code page (866 Russian, 437
// otherwise) to the codeset the locale variables name (LC_ALL, LC_CTYPE,
// LANG: the first set), so that a Linux terminal shows readable text: UTF-8,
// or any other codeset iconv knows; without a codeset, or with one iconv does
// not know, the OEM bytes pass unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

enum : uint32_t {
  kCodePageOemUs = 437,
  kCodePageOemRussian = 866,
  kCodePageUtf8 = 65001,  // CP_UTF8
};

// Prepares standard output for the run, before the first write: on POSIX a
// reader that has gone away makes writes fail instead of ending the process.
void StartConsole();

// Writes n OEM bytes to standard output (buffered; no line break is added).
// Returns false, with the last error set, when the stream refuses them.
bool WriteConsoleBytes(const char* bytes, size_t n);
// Flushes standard output. Returns false, with the last error set, on failure.
bool FlushConsole();

// The code page of what reaches standard output: kCodePageUtf8 when the
// OEM bytes are converted to UTF-8, the user's OEM code page when they pass
// unchanged, 0 when they are converted to another codeset.
uint32_t ConsoleOutputCodePage();

// Converts n bytes of OEM code page 437 or 866 to UTF-8 into *out (replacing
// its contents). Another code page fails with 87 and leaves *out unchanged.
bool OemToUtf8(const char* bytes, size_t n, uint32_t oemCodePage, std::string* out);

}  // namespace plat

// Property checks of the fuzz targets: a broken property prints what broke
// and aborts (a crash to libFuzzer, a failed run to a replay program).
#pragma once

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace yx {
namespace fuzz {

// Prints "property broken: " and the printf-style message, then aborts.
[[noreturn]] inline void Fail(const char* format, ...) {
  std::fputs("property broken: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);  // stderr is not buffered
  std::abort();
}

// The text as the body of a C string literal: printable ASCII as itself, the
// rest as \xNN (a hex digit right after one is split off with ""), so that a
// report can be pasted into a test.
inline std::string Escaped(const std::string& text) {
  std::string out;
  bool afterHex = false;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\\' && c != '"') {
      if (afterHex && std::isxdigit(byte)) out += "\"\"";
      out += c;
      afterHex = false;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
      afterHex = true;
    }
  }
  return out;
}

}  // namespace fuzz
}  // namespace yx

// TConsoleWriter.

#include "ConsoleWriter.h"

#include <cstdio>

#include "plat/Console.h"

namespace yx {

TConsoleWriter& TConsoleWriter::Write(int32_t value) {
  char text[16];
  const int n = std::snprintf(text, sizeof text, "%d", int(value));
  plat::WriteConsoleBytes(text, size_t(n));
  return *this;
}

TConsoleWriter& TConsoleWriter::Write(const char* text) {
  BStr oem(text);
  oem.ToOem();
  plat::WriteConsoleBytes(oem.CStr(), oem.Length());
  return *this;
}

}  // namespace yx

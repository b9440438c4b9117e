// TConsoleWriter: every text the command shows goes through it, converted
// from the ANSI to the OEM code page just before it reaches standard output.
#pragma once

#include <cstdint>

#include "BStr.h"

namespace yx {

class TConsoleWriter : public TYxBsMem {
 public:
  TConsoleWriter() = default;
  ~TConsoleWriter() override = default;

  // The value in decimal. No line break is added.
  virtual TConsoleWriter& Write(int32_t value);
  // The text, converted to the OEM code page. No line break is added.
  virtual TConsoleWriter& Write(const char* text);
};

}  // namespace yx

// The text of a Log call's message: what printf makes of the format and its
// arguments, cut at its first zero (a "%c" of 0 ends it, as it always has).
#pragma once

#include <cstdarg>
#include <cstddef>

#include "yxgen.h"

namespace yx {

class TMessageText {
 public:
  // Formats at once; a null format is the empty text.
  TMessageText(const char* format, va_list args);
  ~TMessageText() = default;
  TMessageText(const TMessageText&) = delete;
  TMessageText& operator=(const TMessageText&) = delete;

  const char* Chars() const { return chars_; }
  unsigned Length() const { return length_; }

 private:
  // Most messages fit here; longer ones are formatted again into a heap
  // block that fits.
  char inline_[256];
  TCharBuffer long_;
  const char* chars_ = "";
  unsigned length_ = 0;
};

// Writes the message into `out` (room for `size` characters with the zero)
// without printf, when every conversion of the format is one that printf
// writes alike on every system: "%d", "%i", "%u", "%x", "%X" (each also with
// "l"), "%s" of a text, "%c" of a character other than 0, and "%%", none with
// flags, width or precision. Returns the length written, or -1 (the output
// then undefined and `args` partly read) for any other format or a text
// that does not fit.
int FormatPlainConversions(char* out, size_t size, const char* format, va_list args);

}  // namespace yx

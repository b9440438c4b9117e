// TMessageText and the formatting of plain conversions.

#include "MessageText.h"

#include <cstdio>
#include <cstring>

namespace yx {
namespace {

// Appends the digits of `value` in `Radix` (10 or 16) to out at *n; false
// when they do not fit below `size` - 1. The radix is a constant, so that
// the division by it is a multiplication.
template <unsigned Radix>
bool PutDigits(unsigned long value, const char* digitChars, char* out, size_t size, size_t* n) {
  char digits[24];
  unsigned count = 0;
  do {
    digits[count++] = digitChars[value % Radix];
    value /= Radix;
  } while (value != 0);
  if (count >= size - *n) return false;
  while (count != 0) out[(*n)++] = digits[--count];
  return true;
}

}  // namespace

int FormatPlainConversions(char* out, size_t size, const char* format, va_list args) {
  if (size == 0) return -1;
  size_t n = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      // The run of plain characters up to the next conversion, at once.
      const char* percent = std::strchr(p, '%');
      const size_t run = percent != nullptr ? size_t(percent - p) : std::strlen(p);
      if (run >= size - n) return -1;
      std::memcpy(out + n, p, run);
      n += run;
      p += run - 1;
      continue;
    }
    ++p;
    const bool isLong = *p == 'l';
    if (isLong) ++p;
    switch (*p) {
      case 'd':
      case 'i': {
        const long value = isLong ? va_arg(args, long) : va_arg(args, int);
        unsigned long magnitude = static_cast<unsigned long>(value);
        if (value < 0) {
          if (n + 1 >= size) return -1;
          out[n++] = '-';
          magnitude = 0ul - magnitude;
        }
        if (!PutDigits<10>(magnitude, "0123456789", out, size, &n)) return -1;
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        const unsigned long value = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned);
        const bool fits = *p == 'u'   ? PutDigits<10>(value, "0123456789", out, size, &n)
                          : *p == 'x' ? PutDigits<16>(value, "0123456789abcdef", out, size, &n)
                                      : PutDigits<16>(value, "0123456789ABCDEF", out, size, &n);
        if (!fits) return -1;
        break;
      }
      case 's': {
        if (isLong) return -1;  // a wide text
        const char* text = va_arg(args, const char*);
        if (text == nullptr) return -1;  // each system writes its own word for it
        const size_t length = std::strlen(text);
        if (length >= size - n) return -1;
        std::memcpy(out + n, text, length);
        n += length;
        break;
      }
      case 'c': {
        if (isLong) return -1;
        const char c = static_cast<char>(va_arg(args, int));
        if (c == '\0' || n + 1 >= size) return -1;
        out[n++] = c;
        break;
      }
      case '%':
        if (isLong || n + 1 >= size) return -1;
        out[n++] = '%';
        break;
      default: return -1;  // flags, width, precision, other sizes and types, a lone '%'
    }
  }
  out[n] = '\0';
  return static_cast<int>(n);
}

TMessageText::TMessageText(const char* format, va_list args) {
  if (format == nullptr) return;
  va_list plain;
  va_copy(plain, args);
  const int written = FormatPlainConversions(inline_, sizeof inline_, format, plain);
  va_end(plain);
  if (written >= 0) {
    chars_ = inline_;
    length_ = unsigned(written);
    return;
  }
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(inline_, sizeof inline_, format, args);
  if (n >= 0 && size_t(n) < sizeof inline_) {
    chars_ = inline_;
  } else if (n >= 0) {
    long_.Alloc(unsigned(n) + 1);
    // The same arguments give the same text again.
    if (std::vsnprintf(long_.Chars(), size_t(n) + 1, format, again) >= 0) chars_ = long_.Chars();
  }
  va_end(again);
  if (n < 0) return;  // a format printf refuses: the empty text
  length_ = unsigned(std::strlen(chars_));
}

}  // namespace yx

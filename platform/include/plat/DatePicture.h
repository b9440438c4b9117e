// The Windows date and time picture formatters, GetDateFormatA and
// GetTimeFormatA with a picture (flags 0), in the user's language.
//
// Date elements: d dd ddd dddd M MM MMM MMMM y yy yyyy yyyyy g gg.
// Time elements: h hh H HH m mm s ss t tt.
// Text in apostrophes is copied literally; '' inside it stands for one
// apostrophe. Other characters are copied, the other pass's letters included.
#pragma once

#include <cstdint>

#include "plat/Clock.h"

namespace plat {

// With size 0: the size the result needs, terminating zero included.
// Otherwise writes the result into buf and returns the characters written,
// zero included; 0 when buf is too small (last error 122, buf then holds the
// part that fitted, unterminated) or an argument is invalid (87): a negative
// size, a null buf with a size, an unknown locale, a date the date pass
// refuses (before 1601, month or day out of range) or a time the time pass
// refuses (hour above 23, minute or second above 59, milliseconds above 999).
// The date pass recomputes the day of the week; each pass ignores the other's
// fields. A null `time` formats the current local time; a null picture takes
// the locale's short date or time format. `locale` is 0x0400 (the user's
// default) in this system; 0x0409 and 0x0419 select English or Russian names.
int FormatDate(uint32_t locale, const SystemTime* time, const char* picture, char* buf, int size);
int FormatTime(uint32_t locale, const SystemTime* time, const char* picture, char* buf, int size);

}  // namespace plat

// The system's message catalogue: the text of a Windows error code in a
// language, as FormatMessageA with FORMAT_MESSAGE_FROM_SYSTEM and
// FORMAT_MESSAGE_IGNORE_INSERTS gives it (each text ends in "\r\n"), in the
// user's ANSI code page.
#pragma once

#include <cstdint>

namespace plat {

// Copies the text of `code` in language `langId` into buf (the text and a
// zero) and returns the number of characters copied, zero excluded. Returns 0
// when the text does not fit (last error 122), the catalogue has no text for
// the code (317) or does not hold the language (15100 on POSIX; Wine says
// 1815). Language 0 (neutral), 0x0400 and 0x0800 stand for the user's.
uint32_t SystemMessage(uint32_t code, uint16_t langId, char* buf, uint32_t size);

}  // namespace plat

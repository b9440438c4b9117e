// The codeset of the user's terminal and arguments, and conversion between
// codesets with iconv (internal to the POSIX platform layer).
#pragma once

#include <cstddef>
#include <string>

namespace plat::detail {

// The codeset the locale variables that decide the character set name
// (LC_ALL, LC_CTYPE, LANG: the first that is set and not empty), as the part
// after the dot and before any "@": "UTF-8" for "ru_RU.UTF-8@latin". Empty
// when the value names none ("C", "ru_RU").
std::string LocaleCodeset();

// True for the names of UTF-8 ("UTF-8", "utf8", any case).
bool IsUtf8Codeset(const std::string& codeset);

// Converts n bytes from the codeset `from` to the codeset `to` into *out
// (replacing its contents). Every byte that is not part of a valid sequence
// of `from` becomes '?'; a character of UTF-8 input that `to` cannot hold
// becomes one '?'. False, with *out unchanged, when iconv does not know
// either codeset.
bool ConvertCodeset(const char* from, const char* to, const char* bytes, size_t n, std::string* out);

}  // namespace plat::detail

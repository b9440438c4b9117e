// Text functions of the user's ANSI code page (1251 for Russian users, 1252
// otherwise), with the results of the Windows functions they stand for.
//
// Texts are zero-terminated 8-bit strings. Where a function accepts null it
// says so; comparisons return exactly -1, 0 or 1.
#pragma once

#include <cstdint>

namespace plat {

// lstrlenA: characters before the zero; null gives 0.
int TextLength(const char* text);
// lstrcmpA / lstrcmpiA: word-sort order of the user's locale. Null counts as
// the empty text.
int TextCompare(const char* a, const char* b);
int TextCompareNoCase(const char* a, const char* b);
// CharUpperA / CharLowerA on a zero-terminated text, in place.
void TextUpper(char* text);
void TextLower(char* text);
// CharUpperA / CharLowerA / IsCharAlphaA of one character.
char CharUpper(char c);
char CharLower(char c);
bool IsCharAlpha(char c);
// CharToOemA: converts src into dst (which may be src itself) from the ANSI
// to the OEM code page (866 for 1251, 437 for 1252).
void TextToOem(const char* src, char* dst);

// The code pages in force for the user.
uint32_t AnsiCodePage();
uint32_t OemCodePage();

}  // namespace plat

// ANSI text functions: the Windows functions themselves.

#include "plat/Text.h"

#include <windows.h>

// The Windows headers define these names as macros for their A and W forms.
#undef CharUpper
#undef CharLower
#undef IsCharAlpha

namespace plat {
namespace {
int Sign(int v) { return (v > 0) - (v < 0); }
// Null stands for the empty text on both platforms (lstrcmpA itself would
// order a null before the empty text).
const char* NonNull(const char* text) { return text != nullptr ? text : ""; }
}  // namespace

int TextLength(const char* text) { return ::lstrlenA(text); }
int TextCompare(const char* a, const char* b) { return Sign(::lstrcmpA(NonNull(a), NonNull(b))); }
int TextCompareNoCase(const char* a, const char* b) { return Sign(::lstrcmpiA(NonNull(a), NonNull(b))); }
void TextUpper(char* text) { ::CharUpperA(text); }
void TextLower(char* text) { ::CharLowerA(text); }

// The single-character forms pass the character in the low word of the
// pointer argument, as the Windows functions allow.
char CharUpper(char c) {
  return static_cast<char>(reinterpret_cast<UINT_PTR>(
      ::CharUpperA(reinterpret_cast<LPSTR>(static_cast<UINT_PTR>(static_cast<unsigned char>(c))))));
}
char CharLower(char c) {
  return static_cast<char>(reinterpret_cast<UINT_PTR>(
      ::CharLowerA(reinterpret_cast<LPSTR>(static_cast<UINT_PTR>(static_cast<unsigned char>(c))))));
}
bool IsCharAlpha(char c) { return ::IsCharAlphaA(c) != FALSE; }
void TextToOem(const char* src, char* dst) { ::CharToOemA(src, dst); }
uint32_t AnsiCodePage() { return ::GetACP(); }
uint32_t OemCodePage() { return ::GetOEMCP(); }

}  // namespace plat

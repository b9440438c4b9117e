// Text and number functions: zero-terminated texts in the user's ANSI code
// page, letters and order from the user's locale.
#pragma once

namespace yx {

// Capitalises in place: mode 2 each word, mode 3 only the first letter of
// the range; count 0 means the whole text.
void Capitalize(char* text, int mode, unsigned count);
// Locale comparison of two characters; flags bit 0 ignores case.
int CompareChar(char a, char b, int flags);
// The classes of the 256 characters under CompareChar with `flags`: two
// characters compare equal exactly when their classes are equal (equality
// of single characters is an equivalence relation). Built once per value of
// flags bit 0, from the locale comparison.
struct TCharClasses {
  unsigned char of[256];  // the class of each character
  short only[256];        // per class: its character when it has one only, else -1
};
const TCharClasses& CharClassMap(int flags);
// CharClassMap(flags).of.
const unsigned char* CharClasses(int flags);
// Text comparison; flags bit 0 ignores case, bit 1 compares only the first
// lstrlen(b) characters (byte-wise, or ASCII case-insensitive with bit 0).
// Null counts as the empty text against null or empty, else as smaller.
int CompareText(const char* a, const char* b, int flags);
// -1, 0 or 1.
int Sign(int value);
// Copies src[start..] into dest, at most count characters (0: strlen(src)).
// REQUIRES: start <= strlen(src); dest holds the result and its zero.
void CopySubstring(char* dest, const char* src, unsigned start, unsigned count);
// First position >= start of `what` in `text`, or -1; an empty `what` is
// never found. REQUIRES: start <= strlen(text).
int FindSubstring(const char* text, const char* what, unsigned start);
// A copy of `text` on the process heap (release with HeapMemFree); null for
// null.
char* HeapStrDup(const char* text);
// Rounds halves away from zero.
double RoundHalfAway(double value);

}  // namespace yx

// BStr: the system's string. A counted, zero-terminated text of 8-bit
// characters in the user's ANSI code page, owning its buffer on the process
// heap (no sharing, no reference count).
//
// BStrBase carries the operations that never need a larger buffer; BStr adds
// the buffer and the operations that can make the text longer.
//
// Capacity rule: Reserve(n) makes room for n characters and the zero; when
// it must grow, or when n is 0, the buffer becomes the smallest multiple of
// 32 greater than n (so an empty assignment shrinks it to 32 bytes).
//
// Auto-trim: flags bit 0 trims blanks (space and tab) on the left, bit 1 on
// the right, after every Assign, Insert, Append, Delete and CutTail.
#pragma once

#include <cstdarg>

#include "yxgen.h"

namespace yx {

// Source name of the string's raise sites, and the line they report.
inline constexpr const char kBStrSource[] = "Src/Lib/BStr";
inline constexpr unsigned kLineBStrRange = 60;

// Comparison and search flags shared by the string operations.
enum : int {
  kIgnoreCase = 1,     // compare without regard to case
  kPrefix = 2,         // Compare: only as many characters as the other text has
  kReplaceAll = 0x10,  // Replace: every occurrence
};

// Auto-trim flags.
enum : unsigned {
  kTrimLeft = 1,
  kTrimRight = 2,
};

// Position returned for "absent": -1 as an unsigned value.
inline constexpr unsigned kNotFound = 0xFFFFFFFFu;

class BStrBase : public TYxBsMem {
 public:
  ~BStrBase() override = default;

  // The operations that may need a larger buffer; BStrBase does nothing.
  virtual void Assign(const char* text, unsigned maxLen);
  virtual void Assign(const BStrBase& other);
  virtual void Insert(const char* text, unsigned pos, unsigned count);
  virtual void Format(const char* format, ...);

  unsigned Length() const { return length_; }
  const char* CStr() const { return data_; }
  unsigned Flags() const { return flags_; }
  void SetFlags(unsigned flags) { flags_ = flags; }

  // Empties the text; capacity and auto-trim state unchanged.
  void Clear();
  // Removes `count` characters from `pos` (0: to the end). Raises
  // EOutOfRange when pos >= Length() or pos + count > Length().
  void Delete(unsigned pos, unsigned count);
  // Removes the last n characters (all when n >= Length(); none for 0).
  void CutTail(unsigned n);
  void TrimLeft();
  void TrimRight();
  void Trim();
  // Removes one pair of enclosing double quotes.
  void Unquote();
  // Mode 0 upper case, 1 lower case (whole text); 2 and 3 Capitalize from
  // pos for count characters (0: to the end).
  void ChangeCase(int mode, unsigned pos, unsigned count);
  // Converts the text in place from the ANSI to the OEM code page.
  void ToOem();

  bool operator==(const char* text) const;
  bool operator!=(const char* text) const { return !(*this == text); }
  // Flags: 0 locale order, 1 ignoring case, 2 byte-wise prefix, 3 ASCII
  // case-insensitive prefix. Result -1, 0 or 1.
  int Compare(const char* text, int flags) const;
  int Compare(const BStrBase& other, int flags) const;
  // Position of `text` at or after `start`, compared character by character
  // in the user's locale (bit 0 of flags ignores case); kNotFound if absent.
  // An empty text is found at start.
  unsigned Find(const char* text, unsigned start, int flags) const;
  // Replaces `what` by `with` from `start`, the first or (kReplaceAll) every
  // occurrence, with the result of replacing them one at a time, each search
  // starting after the text put in before; returns the number of
  // replacements. An empty `what` replaces nothing, a null `with` deletes.
  // The auto-trim runs once, on the finished text. Raises EBadAlloc when the
  // result would be too long, leaving the text as it was.
  unsigned Replace(const char* what, const char* with, unsigned start, int flags);
  // Position of the first match of a pattern at or after start, or
  // kNotFound. Flags bit 0 compares ordinary and escaped characters without
  // regard to case. See FindPattern.cpp for the pattern language.
  unsigned FindPattern(const char* pattern, unsigned start, int flags) const;

 protected:
  BStrBase() = default;
  BStrBase(const BStrBase&) : TYxBsMem() {}
  BStrBase& operator=(const BStrBase&) { return *this; }

  // Runs the trims that the auto-trim flags ask for.
  void AutoTrim();
  // True when p points into the text or its zero.
  bool Owns(const char* p) const { return data_ != nullptr && p >= data_ && p <= data_ + length_; }

  // INVARIANT (in BStr): data_ is the start of the buffer and data_[length_]
  // is 0.
  char* data_ = nullptr;
  unsigned length_ = 0;
  unsigned flags_ = 0;
};

class BStr : public BStrBase {
 public:
  // The empty text, with a buffer of 32 bytes.
  BStr();
  BStr(const BStr& other);
  BStr(BStr&& other) noexcept;
  // The first maxLen characters of text (0: all); null is the empty text.
  BStr(const char* text, unsigned maxLen = 0);
  // The unsigned value as text: radix 0 decimal, 1 "0x" and lower-case
  // hexadecimal, 2 binary; other radixes give the empty text.
  BStr(unsigned value, int radix);
  ~BStr() override;

  BStr& operator=(const char* text);
  BStr& operator=(const BStr& other);
  // As a copy assignment (auto-trim and capacity rule included); may take
  // over the other string's buffer, leaving it empty.
  BStr& operator=(BStr&& other);

  using BStrBase::Assign;
  void Assign(const char* text, unsigned maxLen) override;
  void Assign(const BStrBase& other) override;
  // Inserts `count` bytes of text (0: its whole length) at pos. Raises
  // EOutOfRange when pos > Length().
  void Insert(const char* text, unsigned pos, unsigned count) override;
  // Replaces the text by printf-style output. The arguments may be parts of
  // this string. At most 15 32-bit argument words (a double counts as two),
  // as on the system's original platform.
  void Format(const char* format, ...) override;
  void FormatV(const char* format, va_list args);

  // Appends text; null appends nothing.
  BStr& Append(const char* text);
  BStr& Append(const BStr& other);
  // Appends `count` bytes of text, which need no terminating zero.
  BStr& Append(const char* text, unsigned count);
  BStr& operator+=(const char* text) { return Append(text); }
  BStr& operator+=(const BStr& other) { return Append(other); }

  // Room for n characters and the zero; see the capacity rule above. Raises
  // EBadAlloc for n beyond the longest text (0x7FFFFFC0 characters).
  void Reserve(unsigned n);
  unsigned Capacity() const { return buffer_.Size(); }

 private:
  TCharBuffer buffer_;
};

// BStrBase::FindPattern on `length` characters at `text`, which need no
// terminating zero.
unsigned FindPatternIn(const char* text, unsigned length, const char* pattern, unsigned start, int flags);

// A new string: left followed by right.
BStr operator+(const BStr& left, const char* right);

}  // namespace yx

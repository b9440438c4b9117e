// BStr: construction, growth, editing, comparison and search.

#include "BStr.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "plat/Text.h"

namespace yx {
namespace {

// The text of a string whose buffer was moved away: empty, never written.
char gMovedFromText[1] = {'\0'};

// Capacity for n characters and the zero: the smallest multiple of 32 above n.
unsigned CapacityFor(unsigned n) { return n - n % 32 + 32; }

// Texts longer than this are refused as a misuse rather than overflowing the
// 32-bit sizes.
constexpr unsigned kMaxLength = 0x7FFFFFC0u;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// ---------------------------------------------------------------------------
// BStrBase: the growing operations do nothing at this level.

void BStrBase::Assign(const char*, unsigned) {}
void BStrBase::Assign(const BStrBase&) {}
void BStrBase::Insert(const char*, unsigned, unsigned) {}
void BStrBase::Format(const char*, ...) {}

void BStrBase::Clear() {
  length_ = 0;
  if (data_ != nullptr && data_ != gMovedFromText) data_[0] = '\0';
}

void BStrBase::Delete(unsigned pos, unsigned count) {
  if (pos >= length_ || count > length_ - pos) throw EOutOfRange(kBStrSource, kLineBStrRange, pos, length_);
  if (count == 0) count = length_ - pos;
  std::memmove(data_ + pos, data_ + pos + count, length_ - pos - count + 1);
  length_ -= count;
  AutoTrim();
}

void BStrBase::CutTail(unsigned n) {
  if (n == 0) return;
  if (n >= length_) {
    Clear();
    return;
  }
  Delete(length_ - n, n);
}

void BStrBase::TrimLeft() {
  unsigned n = 0;
  while (n < length_ && IsBlank(data_[n])) ++n;
  if (n != 0) Delete(0, n);
}

void BStrBase::TrimRight() {
  if (length_ == 0) return;
  unsigned i = length_;
  while (i > 0 && IsBlank(data_[i - 1])) --i;
  if (i < length_) Delete(i, 0);
}

void BStrBase::Trim() {
  TrimRight();
  TrimLeft();
}

void BStrBase::Unquote() {
  if (length_ >= 2 && data_[0] == '"' && data_[length_ - 1] == '"') {
    Delete(0, 1);
    Delete(length_ - 1, 1);
  }
}

void BStrBase::AutoTrim() {
  if ((flags_ & kTrimLeft) != 0) TrimLeft();
  if ((flags_ & kTrimRight) != 0) TrimRight();
}

void BStrBase::ChangeCase(int mode, unsigned pos, unsigned count) {
  if (length_ == 0) return;
  switch (mode) {
    case 0: plat::TextUpper(data_); break;
    case 1: plat::TextLower(data_); break;
    case 2:
    case 3:
      if (pos < length_) Capitalize(data_ + pos, mode, count);
      break;
    default: break;
  }
}

void BStrBase::ToOem() {
  if (length_ != 0) plat::TextToOem(data_, data_);
}

bool BStrBase::operator==(const char* text) const { return plat::TextCompare(data_, text) == 0; }

int BStrBase::Compare(const char* text, int flags) const { return CompareText(data_, text, flags & 3); }

int BStrBase::Compare(const BStrBase& other, int flags) const { return Compare(other.data_, flags); }

unsigned BStrBase::Find(const char* text, unsigned start, int flags) const {
  const unsigned n = unsigned(plat::TextLength(text));
  if (n > length_ || start > length_ - n) return kNotFound;
  if (n == 0) return start;
  for (unsigned p = start; p <= length_ - n; ++p) {
    unsigned i = 0;
    // Identical bytes always compare equal; only differing ones need the
    // locale comparison.
    while (i < n && (text[i] == data_[p + i] || CompareChar(text[i], data_[p + i], flags) == 0)) ++i;
    if (i == n) return p;
  }
  return kNotFound;
}

unsigned BStrBase::Replace(const char* what, const char* with, unsigned start, int flags) {
  if (what == nullptr || *what == '\0') return 0;
  // Texts taken from this string itself are copied before it changes.
  BStr whatCopy, withCopy;
  if (Owns(what)) what = (whatCopy = what).CStr();
  if (with != nullptr && Owns(with)) with = (withCopy = with).CStr();
  const unsigned whatLength = unsigned(plat::TextLength(what));
  const unsigned withLength = unsigned(plat::TextLength(with));
  unsigned replaced = 0;
  while (start < length_) {
    const unsigned p = Find(what, start, flags);
    if (p == kNotFound) break;
    Delete(p, whatLength);
    Insert(with, p, 0);
    ++replaced;
    if ((flags & kReplaceAll) == 0) return 1;
    start = p + withLength;
  }
  return replaced;
}

// ---------------------------------------------------------------------------
// BStr

BStr::BStr() {
  Reserve(0);
  data_[0] = '\0';
}

BStr::BStr(const BStr& other) : BStrBase() { Assign(other); }

BStr::BStr(BStr&& other) noexcept : BStrBase() {
  buffer_.Swap(other.buffer_);
  data_ = other.data_;
  length_ = other.length_;
  other.data_ = gMovedFromText;
  other.length_ = 0;
}

BStr::BStr(const char* text, unsigned maxLen) { Assign(text, maxLen); }

BStr::BStr(unsigned value, int radix) {
  char scratch[33] = {};
  switch (radix) {
    case 0: std::snprintf(scratch, sizeof scratch, "%u", value); break;
    case 1: std::snprintf(scratch, sizeof scratch, "0x%x", value); break;
    case 2: {
      int n = 0;
      for (unsigned v = value; v != 0; v >>= 1) ++n;
      if (n == 0) n = 1;
      for (int i = n - 1; i >= 0; --i, value >>= 1) scratch[i] = char('0' + (value & 1));
      break;
    }
    default: break;
  }
  Assign(scratch, 0);
}

BStr::~BStr() {
  length_ = 0;
  data_ = nullptr;
}

BStr& BStr::operator=(const char* text) {
  Assign(text, 0);
  return *this;
}

BStr& BStr::operator=(const BStr& other) {
  if (&other != this) Assign(other);
  return *this;
}

BStr& BStr::operator=(BStr&& other) noexcept {
  if (&other != this) {
    buffer_.Swap(other.buffer_);
    std::swap(data_, other.data_);
    std::swap(length_, other.length_);
  }
  return *this;
}

void BStr::Reserve(unsigned n) {
  if (n != 0 && Capacity() >= n + 1) return;
  if (n > kMaxLength) throw EBadAlloc(kBStrSource, kLineBStrRange, n);
  const bool fresh = buffer_.Ptr() == nullptr;
  buffer_.Realloc(CapacityFor(n));
  data_ = buffer_.Chars();
  if (fresh) {
    length_ = 0;
    data_[0] = '\0';
  } else if (length_ >= Capacity()) {
    // Only Reserve(0) can shrink below the text: keep what fits.
    length_ = Capacity() - 1;
    data_[length_] = '\0';
  }
}

void BStr::Assign(const char* text, unsigned maxLen) {
  unsigned n = unsigned(plat::TextLength(text));
  if (maxLen != 0 && maxLen <= n) n = maxLen;
  // A text inside this buffer keeps its place through a Reserve that does
  // not move the buffer; for one that does, copy it first.
  TCharBuffer copy;
  if (n != 0 && Owns(text) && Capacity() < n + 1) {
    copy.Alloc(n);
    std::memcpy(copy.Chars(), text, n);
    text = copy.Chars();
  }
  Reserve(n);
  if (n != 0) std::memmove(data_, text, n);
  data_[n] = '\0';
  length_ = n;
  AutoTrim();
}

void BStr::Assign(const BStrBase& other) {
  if (&other == this) {
    AutoTrim();
    return;
  }
  const unsigned n = other.Length();
  Reserve(n);
  std::memcpy(data_, other.CStr(), n);
  data_[n] = '\0';
  length_ = n;
  AutoTrim();
}

void BStr::Insert(const char* text, unsigned pos, unsigned count) {
  const unsigned n = count != 0 ? count : unsigned(plat::TextLength(text));
  if (n == 0) return;
  if (pos > length_) throw EOutOfRange(kBStrSource, kLineBStrRange, pos, length_);
  TCharBuffer copy;
  if (text >= data_ && text < data_ + Capacity()) {
    copy.Alloc(n);
    std::memcpy(copy.Chars(), text, n);
    text = copy.Chars();
  }
  if (n > kMaxLength - length_) throw EBadAlloc(kBStrSource, kLineBStrRange, length_ + n);
  Reserve(length_ + n);
  std::memmove(data_ + pos + n, data_ + pos, length_ - pos + 1);
  std::memcpy(data_ + pos, text, n);
  length_ += n;
  AutoTrim();
}

void BStr::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void BStr::FormatV(const char* format, va_list args) {
  // The output goes to a new block, so arguments that point into this
  // string stay intact. Its capacity is what formatting in place with
  // retries would reach: the current one, grown by Reserve(capacity + 32)
  // until the text and its zero fit.
  va_list probe;
  va_copy(probe, args);
  const int needed = std::vsnprintf(nullptr, 0, format, probe);
  va_end(probe);
  if (needed < 0 || unsigned(needed) > kMaxLength) {
    // A formatter error other than lack of room ends with the empty text.
    Clear();
    return;
  }
  unsigned capacity = Capacity();
  while (capacity < unsigned(needed) + 1) capacity = CapacityFor(capacity + 32);
  TCharBuffer output(capacity);
  std::vsnprintf(output.Chars(), capacity, format, args);
  buffer_.Swap(output);
  data_ = buffer_.Chars();
  length_ = unsigned(needed);
}

BStr& BStr::Append(const char* text) {
  const unsigned n = unsigned(plat::TextLength(text));
  if (n > kMaxLength - length_) throw EBadAlloc(kBStrSource, kLineBStrRange, length_ + n);
  const bool inside = n != 0 && Owns(text);
  const unsigned offset = inside ? unsigned(text - data_) : 0;
  Reserve(length_ + n);
  if (inside) text = data_ + offset;
  std::memmove(data_ + length_, text, n);
  length_ += n;
  data_[length_] = '\0';
  AutoTrim();
  return *this;
}

BStr& BStr::Append(const BStr& other) {
  if (other.length_ == 0) return *this;
  const unsigned n = other.length_;
  if (n > kMaxLength - length_) throw EBadAlloc(kBStrSource, kLineBStrRange, length_ + n);
  Reserve(length_ + n);
  // For s += s the source is this buffer, read after the Reserve.
  std::memmove(data_ + length_, other.data_, n);
  length_ += n;
  data_[length_] = '\0';
  AutoTrim();
  return *this;
}

BStr operator+(const BStr& left, const char* right) {
  BStr result(left);
  result.Append(right);
  return result;
}

}  // namespace yx

// BStr: construction, growth, editing, comparison and search.

#include "BStr.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

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
  // Characters match when their classes under the locale comparison are
  // equal. Candidates are the places of the first character's class; when
  // that class has one member, memchr finds them.
  const TCharClasses& map = CharClassMap(flags);
  const unsigned char* classes = map.of;
  const auto* hay = reinterpret_cast<const unsigned char*>(data_);
  const auto* needle = reinterpret_cast<const unsigned char*>(text);
  const unsigned char first = classes[needle[0]];
  const int only = map.only[first];
  const unsigned last = length_ - n;
  for (unsigned p = start; p <= last; ++p) {
    if (only >= 0) {
      const void* hit = std::memchr(hay + p, only, last - p + 1);
      if (hit == nullptr) return kNotFound;
      p = unsigned(static_cast<const unsigned char*>(hit) - hay);
    } else if (classes[hay[p]] != first) {
      continue;
    }
    unsigned i = 1;
    while (i < n && classes[needle[i]] == classes[hay[p + i]]) ++i;
    if (i == n) return p;
  }
  return kNotFound;
}

unsigned BStrBase::Replace(const char* what, const char* with, unsigned start, int flags) {
  if (what == nullptr || *what == '\0') return 0;
  if (with == nullptr) with = "";
  const unsigned whatLength = unsigned(plat::TextLength(what));
  const unsigned withLength = unsigned(plat::TextLength(with));
  // The occurrences that replacing one at a time finds: each search starts
  // right after the text put in for the one before, so every occurrence is
  // one of the text as it is now and none overlaps the one before.
  std::vector<unsigned> hits;
  for (unsigned from = start; from < length_;) {
    const unsigned p = Find(what, from, flags);
    if (p == kNotFound) break;
    hits.push_back(p);
    if ((flags & kReplaceAll) == 0) break;
    from = p + whatLength;
  }
  if (hits.empty()) return 0;
  const uint64_t resultLength =
      uint64_t(length_) - uint64_t(hits.size()) * whatLength + uint64_t(hits.size()) * withLength;
  if (resultLength > kMaxLength)
    throw EBadAlloc(kBStrSource, kLineBStrRange,
                    unsigned(resultLength > UINT32_MAX ? UINT32_MAX : resultLength));
  // The result is built in one pass in a block of its own (`what` and
  // `with` may lie in this text), then assigned: the capacity rule applies
  // as to the last of the single replacements, and the auto-trim runs once,
  // on the finished text.
  if (resultLength == 0) {
    Clear();
    AutoTrim();
    return unsigned(hits.size());
  }
  TCharBuffer result(unsigned(resultLength) + 1);
  char* out = result.Chars();
  unsigned from = 0;
  for (unsigned p : hits) {
    std::memcpy(out, data_ + from, p - from);
    out += p - from;
    std::memcpy(out, with, withLength);
    out += withLength;
    from = p + whatLength;
  }
  std::memcpy(out, data_ + from, length_ - from + 1);
  Assign(result.Chars(), unsigned(resultLength));
  return unsigned(hits.size());
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

BStr& BStr::operator=(BStr&& other) {
  if (&other == this) return *this;
  // The result is that of a copy assignment. The other string's buffer is
  // taken over when the copy would end in a buffer of exactly its size.
  const unsigned n = other.length_;
  const bool growing = n == 0 || Capacity() < n + 1;
  if (!growing || other.buffer_.Ptr() == nullptr || other.Capacity() != CapacityFor(n)) {
    Assign(other);
    return *this;
  }
  buffer_.Swap(other.buffer_);
  data_ = buffer_.Chars();
  length_ = n;
  // The other string keeps this one's old buffer, empty, or none.
  other.length_ = 0;
  if (other.buffer_.Ptr() != nullptr) {
    other.data_ = other.buffer_.Chars();
    other.data_[0] = '\0';
  } else {
    other.data_ = gMovedFromText;
  }
  AutoTrim();
  return *this;
}

void BStr::Reserve(unsigned n) {
  if (n > kMaxLength) throw EBadAlloc(kBStrSource, kLineBStrRange, n);
  if (n != 0 && Capacity() >= n + 1) return;
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
  // The output goes first to a scratch area on the stack, or, when it does
  // not fit there, to a new block, so arguments that point into this string
  // stay intact. Its capacity is what formatting in place with retries would
  // reach: the current one, grown by Reserve(capacity + 32) until the text
  // and its zero fit. A text that fits the current buffer and the scratch
  // area is copied into the buffer: no block is allocated.
  char scratch[1024];
  va_list probe;
  va_copy(probe, args);
  const int needed = std::vsnprintf(scratch, sizeof scratch, format, probe);
  va_end(probe);
  if (needed < 0 || unsigned(needed) > kMaxLength) {
    // A formatter error other than lack of room ends with the empty text.
    Clear();
    return;
  }
  unsigned capacity = Capacity();
  while (capacity < unsigned(needed) + 1) capacity = CapacityFor(capacity + 32);
  if (capacity == Capacity() && unsigned(needed) < sizeof scratch) {
    std::memcpy(data_, scratch, unsigned(needed) + 1);
    length_ = unsigned(needed);
    return;
  }
  TCharBuffer output(capacity);
  std::vsnprintf(output.Chars(), capacity, format, args);
  buffer_.Swap(output);
  data_ = buffer_.Chars();
  length_ = unsigned(needed);
}

BStr& BStr::Append(const char* text) {
  if (text == nullptr) text = "";
  return Append(text, unsigned(plat::TextLength(text)));
}

BStr& BStr::Append(const char* text, unsigned n) {
  if (n > kMaxLength - length_) throw EBadAlloc(kBStrSource, kLineBStrRange, length_ + n);
  const bool inside = n != 0 && Owns(text);
  const unsigned offset = inside ? unsigned(text - data_) : 0;
  Reserve(length_ + n);
  if (inside) text = data_ + offset;
  if (n != 0) std::memmove(data_ + length_, text, n);
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

// TDatePattern and TDateTime::Format.

#include "DatePattern.h"

#include <atomic>
#include <cstring>

#include "DateTime.h"
#include "plat/DatePicture.h"

namespace yx {
namespace {

// Separates the elements of one system call's picture; no name contains it.
constexpr char kMarker = '\x01';

bool IsDateLetter(char c) { return c == 'd' || c == 'M' || c == 'y' || c == 'g'; }
bool IsTimeLetter(char c) { return c == 'h' || c == 'H' || c == 'm' || c == 's' || c == 't'; }

void AppendNumber(std::string* out, unsigned value, unsigned digits) {
  char text[12];
  int n = 12;
  do {
    text[--n] = char('0' + value % 10);
    value /= 10;
  } while (value != 0 || unsigned(12 - n) < digits);
  out->append(text + n, size_t(12 - n));
}

// Formats the numeric elements whose text does not depend on the locale;
// false for the others (names, eras, markers, unusual runs).
bool FormatNumeric(char letter, unsigned count, const plat::SystemTime& f, std::string* out) {
  if (count > 2 && !(letter == 'y' && count == 4)) return false;
  switch (letter) {
    case 'd': AppendNumber(out, f.wDay, count); return true;
    case 'M': AppendNumber(out, f.wMonth, count); return true;
    case 'y':
      if (count == 1) return false;
      AppendNumber(out, count == 2 ? f.wYear % 100u : f.wYear, count);
      return true;
    case 'H': AppendNumber(out, f.wHour, count); return true;
    case 'h': AppendNumber(out, f.wHour % 12 == 0 ? 12u : f.wHour % 12u, count); return true;
    case 'm': AppendNumber(out, f.wMinute, count); return true;
    case 's': AppendNumber(out, f.wSecond, count); return true;
    default: return false;
  }
}

// The date of the day last formatted, packed as (day number << 32) |
// (year << 16) | (month << 8) | day; 0 before the first. Shared by all
// threads: the word is read and written whole.
std::atomic<uint64_t> gLastDate{0};

// Days beyond this (the year 28980) are not kept: their year would not fit
// the packed word's field after a carry.
constexpr double kLastKeptDay = 1.0e7;

uint64_t PackDate(uint32_t day, unsigned year, unsigned month, unsigned mday) {
  return uint64_t(day) << 32 | uint64_t(year) << 16 | uint64_t(month) << 8 | mday;
}

// The fields of `value` as GetFields gives them. The date of the day last
// formatted, or of the day after it, follows from the date kept; any other
// day is computed afresh. The time of day comes from the milliseconds.
void FieldsOf(const TDateTime& value, plat::SystemTime* f) {
  const double v = value.Value();
  if (!(v >= 0.0 && v < kLastKeptDay)) {
    value.GetFields(f);
    return;
  }
  const uint32_t day = uint32_t(v);
  const uint64_t last = gLastDate.load(std::memory_order_relaxed);
  unsigned year = unsigned(last >> 16 & 0xffff), month = unsigned(last >> 8 & 0xff),
           mday = unsigned(last & 0xff);
  if (last == 0 || uint32_t(last >> 32) != day) {
    if (last != 0 && uint32_t(last >> 32) + 1 == day) {
      if (int(mday) < DaysInMonth(int(year), int(month))) {
        ++mday;
      } else {
        mday = 1;
        if (month == 12) ++year;
        month = unsigned(NextMonth(int(month)));
      }
    } else {
      int16_t y = 0;
      int32_t m = 0;
      int8_t d = 0;
      value.GetDate(&y, &m, &d);
      year = unsigned(y), month = unsigned(m), mday = unsigned(d);
    }
    gLastDate.store(PackDate(day, year, month, mday), std::memory_order_relaxed);
  }
  const int32_t ms = value.DayMilliseconds();
  f->wYear = uint16_t(year);
  f->wMonth = uint16_t(month);
  f->wDay = uint16_t(mday);
  f->wHour = uint16_t(int8_t(ms / 3600000));
  f->wMinute = uint16_t(int8_t(ms % 3600000 / 60000));
  f->wSecond = uint16_t(int8_t(ms % 60000 / 1000));
  f->wMilliseconds = uint16_t(int16_t(ms % 1000));
}

// Room for the text of a pattern formatted without the system: no element
// gives more than five characters (a 16-bit field) per pattern character.
constexpr size_t kShortPattern = 64;
constexpr size_t kShortRoom = 5 * kShortPattern + 1;

char* PutNumber(char* out, unsigned value, unsigned digits) {
  char text[12];
  int n = 12;
  do {
    text[--n] = char('0' + value % 10);
    value /= 10;
  } while (value != 0 || unsigned(12 - n) < digits);
  std::memcpy(out, text + n, size_t(12 - n));
  return out + (12 - n);
}

// Writes the text of a pattern of at most kShortPattern characters whose
// elements are all numeric (or milliseconds) into `out`, zero-terminated,
// reading the pattern as TDatePattern does. False, for the compiled pattern
// to take over, at a longer pattern or an element the system must give.
bool FormatShortNumeric(const char* p, const plat::SystemTime& f, char* out) {
  const char* const start = p;
  while (*p != '\0') {
    if (p - start >= ptrdiff_t(kShortPattern)) return false;
    const char c = *p;
    if (c == '\'') {
      if (p[1] == '\'') {
        *out++ = '\'';
        p += 2;
        continue;
      }
      ++p;
      while (*p != '\0') {
        if (*p == '\'') {
          if (p[1] != '\'') {
            ++p;
            break;
          }
          ++p;
        }
        if (p - start >= ptrdiff_t(kShortPattern)) return false;
        *out++ = *p++;
      }
      continue;
    }
    unsigned run = 1;
    while (p[run] == c) ++run;
    if (size_t(p - start) + run > kShortPattern) return false;
    if (IsDateLetter(c) || IsTimeLetter(c)) {
      if (run > 2 && !(c == 'y' && run == 4)) return false;
      unsigned value = 0;
      switch (c) {
        case 'd': value = f.wDay; break;
        case 'M': value = f.wMonth; break;
        case 'y':
          if (run == 1) return false;
          value = run == 2 ? f.wYear % 100u : f.wYear;
          break;
        case 'H': value = f.wHour; break;
        case 'h': value = f.wHour % 12 == 0 ? 12u : f.wHour % 12u; break;
        case 'm': value = f.wMinute; break;
        case 's': value = f.wSecond; break;
        default: return false;
      }
      out = PutNumber(out, value, run);
      p += run;
    } else if (c == 'i') {
      for (unsigned pairs = run / 2; pairs != 0; --pairs) out = PutNumber(out, f.wMilliseconds, 3);
      if (run % 2 != 0) out = PutNumber(out, f.wMilliseconds, 1);
      p += run;
    } else {
      *out++ = c;
      ++p;
    }
  }
  *out = '\0';
  return true;
}

}  // namespace

TDatePattern::TDatePattern(const char* pattern) : source_(pattern != nullptr ? pattern : "") {
  Compile(source_.c_str());
}

void TDatePattern::Compile(const char* p) {
  auto literal = [&](char c) {
    if (tokens_.empty() || tokens_.back().kind != Kind::kLiteral)
      tokens_.push_back({Kind::kLiteral, 0, 0, {}});
    tokens_.back().text.push_back(c);
  };
  while (*p != '\0') {
    const char c = *p;
    if (c == '\'') {
      if (p[1] == '\'') {  // two apostrophes: one apostrophe
        literal('\'');
        p += 2;
        continue;
      }
      // Quoted text up to the closing apostrophe (or the end); inside it,
      // two apostrophes also stand for one.
      ++p;
      while (*p != '\0') {
        if (*p == '\'') {
          if (p[1] != '\'') {
            ++p;
            break;
          }
          ++p;
        }
        literal(*p++);
      }
      continue;
    }
    unsigned run = 1;
    while (p[run] == c) ++run;
    if (IsDateLetter(c) || IsTimeLetter(c)) {
      const bool isDate = IsDateLetter(c);
      tokens_.push_back({isDate ? Kind::kDate : Kind::kTime, c, run, {}});
      plat::SystemTime probe{2001, 1, 1, 1, 1, 1, 1, 1};
      std::string scratch;
      tokens_.back().numeric = FormatNumeric(c, run, probe, &scratch);
      if (!tokens_.back().numeric) (isDate ? hasSystemDate_ : hasSystemTime_) = true;
      p += run;
    } else if (c == 'i') {
      tokens_.push_back({Kind::kMilliseconds, c, run, {}});
      p += run;
    } else {
      literal(c);
      ++p;
    }
  }
  rendered_.assign(tokens_.size(), std::string());
  for (size_t i = 0; i < tokens_.size(); ++i) {
    if (tokens_[i].kind == Kind::kLiteral) rendered_[i] = tokens_[i].text;
  }
}

bool TDatePattern::ExpandBySystem(Kind kind, const plat::SystemTime& fields, uint32_t locale) {
  // Every element of the pass goes into one picture, in pattern order, so
  // that the system sees the same neighbours (a day next to a month name
  // selects the genitive form in Russian).
  std::string picture;
  for (const Token& t : tokens_) {
    if (t.kind != kind) continue;
    if (!picture.empty()) picture += "'\x01'";
    picture.append(t.count, t.letter);
  }
  const auto format = kind == Kind::kDate ? plat::FormatDate : plat::FormatTime;
  const int size = format(locale, &fields, picture.c_str(), nullptr, 0);
  if (size <= 0) return false;
  std::string result(size_t(size), '\0');
  if (format(locale, &fields, picture.c_str(), result.data(), size) <= 0) return false;
  result.resize(std::strlen(result.c_str()));
  // The result must split at the markers into exactly one text per element;
  // any other shape (a picture the system shortened, say) is a failed call.
  size_t elements = 0;
  for (const Token& t : tokens_) elements += t.kind == kind ? 1 : 0;
  size_t markers = 0;
  for (char c : result) markers += c == kMarker ? 1 : 0;
  if (markers + 1 != elements) return false;
  size_t from = 0;
  for (size_t i = 0; i < tokens_.size(); ++i) {
    if (tokens_[i].kind != kind) continue;
    size_t to = result.find(kMarker, from);
    if (to == std::string::npos) to = result.size();
    rendered_[i].assign(result, from, to - from);
    from = to + 1;
  }
  return true;
}

bool TDatePattern::RenderSecond(const plat::SystemTime& fields, uint32_t locale) {
  if (hasSystemDate_ && !ExpandBySystem(Kind::kDate, fields, locale)) return false;
  if (hasSystemTime_ && !ExpandBySystem(Kind::kTime, fields, locale)) return false;
  for (size_t i = 0; i < tokens_.size(); ++i) {
    const Token& t = tokens_[i];
    switch (t.kind) {
      case Kind::kLiteral: break;
      case Kind::kDate:
      case Kind::kTime: {
        if (t.numeric) {
          rendered_[i].clear();
          FormatNumeric(t.letter, t.count, fields, &rendered_[i]);
        }
        break;
      }
      case Kind::kMilliseconds: break;
    }
  }
  return true;
}

const std::string* TDatePattern::Render(const TDateTime& value, uint32_t locale) {
  if (value.IsEmpty()) return nullptr;
  const int32_t ms = value.DayMilliseconds();
  const int64_t second = int64_t(value.Value()) * 86400 + ms / 1000;
  if (second != cachedSecond_ || locale != cachedLocale_) {
    plat::SystemTime fields{};
    FieldsOf(value, &fields);
    cachedSecond_ = -1;
    if (!RenderSecond(fields, locale)) return nullptr;
    cachedSecond_ = second;
    cachedLocale_ = locale;
    // The second's text with room for the milliseconds, when they all have
    // three digits.
    joined_.clear();
    msSlots_.clear();
    fixedWidth_ = true;
    for (size_t i = 0; i < tokens_.size(); ++i) {
      if (tokens_[i].kind != Kind::kMilliseconds) {
        joined_ += rendered_[i];
        continue;
      }
      if (tokens_[i].count % 2 != 0) fixedWidth_ = false;
      for (unsigned pairs = tokens_[i].count / 2; pairs != 0; --pairs) {
        msSlots_.push_back(joined_.size());
        joined_ += "000";
      }
    }
  }
  const unsigned millisecond = unsigned(ms % 1000);
  if (fixedWidth_) {
    text_ = joined_;
    for (size_t at : msSlots_) {
      text_[at] = char('0' + millisecond / 100);
      text_[at + 1] = char('0' + millisecond / 10 % 10);
      text_[at + 2] = char('0' + millisecond % 10);
    }
    return &text_;
  }
  std::string& text = text_;
  text.clear();
  for (size_t i = 0; i < tokens_.size(); ++i) {
    if (tokens_[i].kind != Kind::kMilliseconds) {
      text += rendered_[i];
      continue;
    }
    for (unsigned pairs = tokens_[i].count / 2; pairs != 0; --pairs) AppendNumber(&text, millisecond, 3);
    if (tokens_[i].count % 2 != 0) AppendNumber(&text, millisecond, 1);
  }
  return &text;
}

bool TDatePattern::Append(const TDateTime& value, uint32_t locale, BStr* out) {
  const std::string* text = Render(value, locale);
  if (text == nullptr) return false;
  out->Append(text->data(), unsigned(text->size()));
  return true;
}

BStr TDateTime::Format(const char* pattern, uint32_t locale) const {
  if (IsEmpty()) return BStr();
  // The usual patterns are all numbers: written here in one pass, with no
  // system call and nothing compiled.
  plat::SystemTime fields{};
  FieldsOf(*this, &fields);
  char shortText[kShortRoom];
  if (FormatShortNumeric(pattern != nullptr ? pattern : "", fields, shortText)) return BStr(shortText);
  // Compiled for this call only: a cache per thread would have to be
  // destroyed when its thread ends, which the MinGW runtime under Wine does
  // not survive, and a shared one would need a lock. Callers that format
  // often (the logger's time stamps) keep their own TDatePattern.
  TDatePattern compiled(pattern);
  BStr text;
  if (!compiled.Append(*this, locale, &text)) text.Clear();
  return text;
}

}  // namespace yx

// The Windows date and time picture formatters on POSIX. They give what
// GetDateFormatA and GetTimeFormatA give for the user's locale (English or
// Russian) with flags 0, as the Windows formatter under Wine shows them; the
// differential test tests/diff/datetime_diff.cpp holds both to the same table.
//
// The picture language, as Windows reads it:
// - Date pass: d and dd give the day of the month, ddd and longer runs the
//   abbreviated and the full day name; M and MM the month number, MMM the
//   abbreviated and MMMM and longer runs the full month name; y and yy the
//   two-digit year, yyy and longer runs the whole year; every g the era.
// - Time pass: h and H (12- and 24-hour clock), m and s, each one digit or,
//   for runs of two and more, two digits; t the first character of the time
//   marker, tt and longer runs the whole marker.
// - An apostrophe opens literal text that runs to the next lone apostrophe or
//   to the end of the picture; inside it two apostrophes give one. Outside
//   literal text, two apostrophes are an empty literal.
// - Every other character is copied, the letters of the other pass included.
// - Russian month names take the genitive form after a day number (d or dd,
//   when no day name came between), or when a day number stands at a whole
//   multiple of the month run's length after the run's start: the first 'd'
//   met at those places decides (a run of one or two d's from there).

#include "plat/DatePicture.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "plat/Error.h"
#include "plat/Locale.h"

namespace plat {
namespace {

// The names and default pictures of one locale, in its ANSI code page.
struct TLocaleNames {
  const char* const* days;  // Sunday first
  const char* const* shortDays;
  const char* const* months;  // January first, nominative
  const char* const* genitiveMonths;
  const char* const* shortMonths;
  const char* const* shortGenitiveMonths;
  const char* era;
  const char* am;
  const char* pm;
  const char* shortDate;   // the picture used when none is given
  const char* timeFormat;  // likewise for the time pass
};

const char* const kEnDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kEnShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kEnMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kEnShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const TLocaleNames kEnglish = {kEnDays, kEnShortDays, kEnMonths, kEnMonths,  kEnShortMonths, kEnShortMonths,
                               "AD",    "AM",         "PM",      "M/d/yyyy", "h:mm:ss tt"};

const char* const kRuDays[] = {
    "\xe2\xee\xf1\xea\xf0\xe5\xf1\xe5\xed\xfc\xe5",  // воскресенье
    "\xef\xee\xed\xe5\xe4\xe5\xeb\xfc\xed\xe8\xea",  // понедельник
    "\xe2\xf2\xee\xf0\xed\xe8\xea",                  // вторник
    "\xf1\xf0\xe5\xe4\xe0",                          // среда
    "\xf7\xe5\xf2\xe2\xe5\xf0\xe3",                  // четверг
    "\xef\xff\xf2\xed\xe8\xf6\xe0",                  // пятница
    "\xf1\xf3\xe1\xe1\xee\xf2\xe0",                  // суббота
};
const char* const kRuShortDays[] = {
    "\xe2\xf1",  // вс
    "\xef\xed",  // пн
    "\xe2\xf2",  // вт
    "\xf1\xf0",  // ср
    "\xf7\xf2",  // чт
    "\xef\xf2",  // пт
    "\xf1\xe1",  // сб
};
const char* const kRuMonths[] = {
    "\xff\xed\xe2\xe0\xf0\xfc",          // январь
    "\xf4\xe5\xe2\xf0\xe0\xeb\xfc",      // февраль
    "\xec\xe0\xf0\xf2",                  // март
    "\xe0\xef\xf0\xe5\xeb\xfc",          // апрель
    "\xec\xe0\xe9",                      // май
    "\xe8\xfe\xed\xfc",                  // июнь
    "\xe8\xfe\xeb\xfc",                  // июль
    "\xe0\xe2\xe3\xf3\xf1\xf2",          // август
    "\xf1\xe5\xed\xf2\xff\xe1\xf0\xfc",  // сентябрь
    "\xee\xea\xf2\xff\xe1\xf0\xfc",      // октябрь
    "\xed\xee\xff\xe1\xf0\xfc",          // ноябрь
    "\xe4\xe5\xea\xe0\xe1\xf0\xfc",      // декабрь
};
const char* const kRuGenitiveMonths[] = {
    "\xff\xed\xe2\xe0\xf0\xff",          // января
    "\xf4\xe5\xe2\xf0\xe0\xeb\xff",      // февраля
    "\xec\xe0\xf0\xf2\xe0",              // марта
    "\xe0\xef\xf0\xe5\xeb\xff",          // апреля
    "\xec\xe0\xff",                      // мая
    "\xe8\xfe\xed\xff",                  // июня
    "\xe8\xfe\xeb\xff",                  // июля
    "\xe0\xe2\xe3\xf3\xf1\xf2\xe0",      // августа
    "\xf1\xe5\xed\xf2\xff\xe1\xf0\xff",  // сентября
    "\xee\xea\xf2\xff\xe1\xf0\xff",      // октября
    "\xed\xee\xff\xe1\xf0\xff",          // ноября
    "\xe4\xe5\xea\xe0\xe1\xf0\xff",      // декабря
};
const char* const kRuShortMonths[] = {
    "\xff\xed\xe2.",      // янв.
    "\xf4\xe5\xe2\xf0.",  // февр.
    "\xec\xe0\xf0\xf2",   // март
    "\xe0\xef\xf0.",      // апр.
    "\xec\xe0\xe9",       // май
    "\xe8\xfe\xed\xfc",   // июнь
    "\xe8\xfe\xeb\xfc",   // июль
    "\xe0\xe2\xe3.",      // авг.
    "\xf1\xe5\xed\xf2.",  // сент.
    "\xee\xea\xf2.",      // окт.
    "\xed\xee\xff\xe1.",  // нояб.
    "\xe4\xe5\xea.",      // дек.
};
const char* const kRuShortGenitiveMonths[] = {
    "\xff\xed\xe2.",      // янв.
    "\xf4\xe5\xe2\xf0.",  // февр.
    "\xec\xe0\xf0.",      // мар.
    "\xe0\xef\xf0.",      // апр.
    "\xec\xe0\xff",       // мая
    "\xe8\xfe\xed.",      // июн.
    "\xe8\xfe\xeb.",      // июл.
    "\xe0\xe2\xe3.",      // авг.
    "\xf1\xe5\xed\xf2.",  // сент.
    "\xee\xea\xf2.",      // окт.
    "\xed\xee\xff\xe1.",  // нояб.
    "\xe4\xe5\xea.",      // дек.
};

const TLocaleNames kRussian = {
    kRuDays,       kRuShortDays, kRuMonths,    kRuGenitiveMonths, kRuShortMonths, kRuShortGenitiveMonths,
    "\xed. \xfd.",  // н. э.
    "AM",          "PM",         "dd.MM.yyyy", "HH:mm:ss"};

// The names of a locale identifier: the neutral locale and the user's and the
// system's defaults stand for the user's language. Null for other locales.
const TLocaleNames* NamesOf(uint32_t locale) {
  switch (locale) {
    case 0x0000:  // LOCALE_NEUTRAL
    case kLocaleUserDefault:
    case 0x0800:  // LOCALE_SYSTEM_DEFAULT
    case 0x1000:  // LOCALE_CUSTOM_UNSPECIFIED
      return UserLanguageId() == kLangRussian ? &kRussian : &kEnglish;
    case kLangEnglishUS: return &kEnglish;
    case kLangRussian: return &kRussian;
    default: return nullptr;
  }
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the first of `month` in `year`.
int64_t MonthStart(int year, int month) {
  const int64_t y = year - 1601;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days;
}

// Checks the date of `time` as the date pass does and fills in the date of
// the day it names, with its day of the week. 29 February passes in every
// year and stands for 1 March in a common year; the last day is the last
// one whose midnight fits a FILETIME (30828-09-14).
bool NormaliseDate(SystemTime* time) {
  const int year = time->wYear;
  const int month = time->wMonth;
  const int day = time->wDay;
  if (year < 1601 || month < 1 || month > 12 || day < 1) return false;
  if (day > (month == 2 ? 29 : DaysInMonth(year, month))) return false;
  const int64_t number = MonthStart(year, month) + day - 1;
  const int64_t kTicksPerDay = 864000000000;  // 100-ns units
  if (number > INT64_MAX / kTicksPerDay) return false;
  // A day past the end of February rolls into March.
  if (day > DaysInMonth(year, month)) {
    time->wMonth = 3;
    time->wDay = static_cast<uint16_t>(day - DaysInMonth(year, month));
  }
  time->wDayOfWeek = static_cast<uint16_t>((number + 1) % 7);  // 1601-01-01 was a Monday
  return true;
}

bool TimeIsValid(const SystemTime& time) {
  return time.wHour <= 23 && time.wMinute <= 59 && time.wSecond <= 59 && time.wMilliseconds <= 999;
}

void AppendNumber(std::string* out, unsigned value, int minDigits) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < minDigits) digits[n++] = '0';
  while (n > 0) out->push_back(digits[--n]);
}

// The length of the run of equal characters that starts at `pos`.
size_t RunLength(const char* picture, size_t length, size_t pos) {
  size_t end = pos;
  while (end < length && picture[end] == picture[pos]) ++end;
  return end - pos;
}

// Whether a day number follows the month name run at [start, start + count)
// in the way that selects the genitive (see the file comment).
bool DayNumberFollows(const char* picture, size_t length, size_t start, size_t count) {
  for (size_t pos = start + count; pos < length; pos += count) {
    if (picture[pos] == 'd') return RunLength(picture, length, pos) <= 2;
  }
  return false;
}

// Copies the quoted text that starts at the apostrophe at `pos` ('' inside
// it stands for one apostrophe; an unclosed quote runs to the end). Returns
// the position after the closing apostrophe.
size_t CopyQuoted(const char* picture, size_t length, size_t pos, std::string* out) {
  for (++pos; pos < length; ++pos) {
    if (picture[pos] != '\'') {
      out->push_back(picture[pos]);
    } else if (pos + 1 < length && picture[pos + 1] == '\'') {
      out->push_back('\'');
      ++pos;
    } else {
      return pos + 1;
    }
  }
  return pos;
}

// Where a date pass stands in the picture: what it expands, and whether the
// last day element was a day number (d or dd), which makes the next month
// name genitive.
struct TDatePass {
  const char* picture;
  size_t length;
  const SystemTime& t;
  const TLocaleNames& names;
  bool afterDayNumber = false;
};

// Appends the date element of `count` letters `c` at `pos`; false when `c`
// is no date element.
bool ExpandDateElement(TDatePass* pass, char c, size_t pos, size_t count, std::string* out) {
  const SystemTime& t = pass->t;
  const TLocaleNames& names = pass->names;
  const int digits = count >= 2 ? 2 : 1;
  switch (c) {
    case 'd':
      if (count <= 2) {
        AppendNumber(out, t.wDay, digits);
      } else {
        *out += (count == 3 ? names.shortDays : names.days)[t.wDayOfWeek];
      }
      pass->afterDayNumber = count <= 2;
      return true;
    case 'M':
      if (count <= 2) {
        AppendNumber(out, t.wMonth, digits);
      } else {
        const bool genitive =
            pass->afterDayNumber || DayNumberFollows(pass->picture, pass->length, pos, count);
        const char* const* table = count == 3 ? (genitive ? names.shortGenitiveMonths : names.shortMonths)
                                              : (genitive ? names.genitiveMonths : names.months);
        *out += table[t.wMonth - 1];
      }
      return true;
    case 'y':
      if (count <= 2) {
        AppendNumber(out, t.wYear % 100, 2);
      } else {
        AppendNumber(out, t.wYear, 1);
      }
      return true;
    case 'g':
      for (size_t k = 0; k < count; ++k) *out += names.era;
      return true;
    default: return false;
  }
}

// Appends the time element of `count` letters `c`; false when `c` is no
// time element.
bool ExpandTimeElement(char c, size_t count, const SystemTime& t, const TLocaleNames& names,
                       std::string* out) {
  const int digits = count >= 2 ? 2 : 1;
  switch (c) {
    case 'h': AppendNumber(out, t.wHour % 12 == 0 ? 12 : t.wHour % 12, digits); return true;
    case 'H': AppendNumber(out, t.wHour, digits); return true;
    case 'm': AppendNumber(out, t.wMinute, digits); return true;
    case 's': AppendNumber(out, t.wSecond, digits); return true;
    case 't': {
      const char* marker = t.wHour < 12 ? names.am : names.pm;
      if (count == 1) {
        if (*marker != '\0') out->push_back(*marker);
      } else {
        *out += marker;
      }
      return true;
    }
    default: return false;
  }
}

// Expands the elements of one pass and copies everything else: quoted text
// without its quotes, any other character as it is.
std::string Expand(bool datePass, const char* picture, const SystemTime& t, const TLocaleNames& names) {
  const size_t length = std::strlen(picture);
  std::string out;
  out.reserve(length + 16);
  TDatePass date{picture, length, t, names};
  size_t i = 0;
  while (i < length) {
    const char c = picture[i];
    if (c == '\'') {
      i = CopyQuoted(picture, length, i, &out);
      continue;
    }
    const size_t count = RunLength(picture, length, i);
    const bool element =
        datePass ? ExpandDateElement(&date, c, i, count, &out) : ExpandTimeElement(c, count, t, names, &out);
    if (element) {
      i += count;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

int Format(bool datePass, uint32_t locale, const SystemTime* time, const char* picture, char* buf, int size) {
  const TLocaleNames* names = NamesOf(locale);
  if (size < 0 || (size > 0 && buf == nullptr) || names == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  SystemTime t;
  if (time != nullptr) {
    t = *time;
  } else {
    LocalTime(&t);
  }
  if (datePass ? !NormaliseDate(&t) : !TimeIsValid(t)) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  if (picture == nullptr) picture = datePass ? names->shortDate : names->timeFormat;
  const std::string text = Expand(datePass, picture, t, *names);
  const int needed = static_cast<int>(text.size()) + 1;
  if (size == 0) return needed;
  if (size < needed) {
    // Windows leaves the part that fitted in the buffer, unterminated.
    std::memcpy(buf, text.data(), static_cast<size_t>(size));
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(buf, text.c_str(), static_cast<size_t>(needed));
  return needed;
}

}  // namespace

int FormatDate(uint32_t locale, const SystemTime* time, const char* picture, char* buf, int size) {
  return Format(true, locale, time, picture, buf, size);
}

int FormatTime(uint32_t locale, const SystemTime* time, const char* picture, char* buf, int size) {
  return Format(false, locale, time, picture, buf, size);
}

}  // namespace plat

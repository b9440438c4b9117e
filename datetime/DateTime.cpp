// TDateTime: calendar rules, setting and reading fields, the clock, and the
// date-time messages.

#include "DateTime.h"

#include <cmath>

namespace yx {
namespace {

// One millisecond as a fraction of a day.
constexpr double kDayPerMillisecond = 1.1574074074074074e-8;
constexpr int kFirstYear = 1601;

// Month lengths of a common year, then of a leap year.
constexpr unsigned char kMonthDays[24] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31,
                                          31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// The texts of the date-time messages, code page 1251, in registration order.
constexpr const char* kMessages[9] = {
    // Ошибка в формате (не найден символ, разделяющий компоненты даты).
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xf4\xee\xf0\xec\xe0\xf2\xe5 (\xed\xe5 \xed\xe0\xe9\xe4\xe5\xed \xf1\xe8"
    "\xec\xe2\xee\xeb, \xf0\xe0\xe7\xe4\xe5\xeb\xff\xfe\xf9\xe8\xe9 \xea\xee\xec\xef\xee\xed\xe5\xed\xf2\xfb "
    "\xe4\xe0\xf2\xfb).",
    // Ошибка в формате (не найден символ, разделяющий компоненты времени).
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xf4\xee\xf0\xec\xe0\xf2\xe5 (\xed\xe5 \xed\xe0\xe9\xe4\xe5\xed \xf1\xe8"
    "\xec\xe2\xee\xeb, \xf0\xe0\xe7\xe4\xe5\xeb\xff\xfe\xf9\xe8\xe9 \xea\xee\xec\xef\xee\xed\xe5\xed\xf2\xfb "
    "\xe2\xf0\xe5\xec\xe5\xed\xe8).",
    // Ошибка в номере года.
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xed\xee\xec\xe5\xf0\xe5 \xe3\xee\xe4\xe0.",
    // Ошибка в числе месяцев.
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xf7\xe8\xf1\xeb\xe5 \xec\xe5\xf1\xff\xf6\xe5\xe2.",
    // Ошибка в числе дней.
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xf7\xe8\xf1\xeb\xe5 \xe4\xed\xe5\xe9.",
    // Ошибка в числе часов.
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xf7\xe8\xf1\xeb\xe5 \xf7\xe0\xf1\xee\xe2.",
    // Ошибка в числе минут.
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xf7\xe8\xf1\xeb\xe5 \xec\xe8\xed\xf3\xf2.",
    // Ошибка в числе секунд.
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xf7\xe8\xf1\xeb\xe5 \xf1\xe5\xea\xf3\xed\xe4.",
    // Ошибка в числе миллисекунд.
    "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xf7\xe8\xf1\xeb\xe5 \xec\xe8\xeb\xeb\xe8\xf1\xe5\xea\xf3\xed\xe4.",
};

// ГГГГ-ММ-ДД ЧЧ:ММ:СС, the template of ToText, code page 1251.
constexpr char kTextTemplate[20] = "\xc3\xc3\xc3\xc3-\xcc\xcc-\xc4\xc4 \xd7\xd7:\xcc\xcc:\xd1\xd1";

// Set once, during start-up, by the first construction of a value.
bool gRegistered = false;
TDateTimeCodes gCodes = {};

void RegisterMessages() {
  if (gRegistered) return;
  gRegistered = true;
  uint32_t* codes[9] = {&gCodes.dateSeparator, &gCodes.timeSeparator, &gCodes.year,
                        &gCodes.month,         &gCodes.day,           &gCodes.hour,
                        &gCodes.minute,        &gCodes.second,        &gCodes.millisecond};
  for (int i = 0; i < 9; ++i) *codes[i] = RegisterMessage(kMessages[i]);
}

int DaysInYear(int year) { return IsLeapYear(year) ? 366 : 365; }

// Day numbers of 1 January for every year from 1601 to the current year.
class TYearStarts : public TYxBsMem {
 public:
  TYearStarts() {
    plat::SystemTime now{};
    plat::LocalTime(&now);
    const int last = now.wYear;
    // No entry at all (a clock before 1601) raises from Resize.
    days_.Resize(last >= kFirstYear ? unsigned(last - kFirstYear + 1) : 0);
    int64_t day = 0;
    for (unsigned i = 0; i < days_.Count(); ++i) {
      days_.At(i) = day;
      day += DaysInYear(kFirstYear + int(i));
    }
  }

  int LastYear() const { return kFirstYear + int(days_.Count()) - 1; }

  // Day number of 1 January of `year` (>= 1601; below raises).
  int64_t Start(int year) const {
    if (year < kFirstYear) return days_.At(unsigned(-1));
    if (year <= LastYear()) return days_.At(unsigned(year - kFirstYear));
    int64_t day = days_.At(days_.Count() - 1);
    for (int y = LastYear(); y < year; ++y) day += DaysInYear(y);
    return day;
  }

  // The year whose first day is the greatest at or below `day` (1601 when
  // none is).
  int YearOf(double day) const {
    // Day counts beyond what a 32-bit day number can hold are out of reach
    // of every setter; keep the arithmetic in range for them too.
    if (day > 4.3e9) day = 4.3e9;
    if (day < double(days_.At(days_.Count() - 1))) {
      unsigned lo = 0, hi = days_.Count() - 1;  // Start(lo) <= day < Start(hi)
      if (day < 0) return kFirstYear;
      while (hi - lo > 1) {
        const unsigned mid = (lo + hi) / 2;
        if (double(days_.At(mid)) <= day) {
          lo = mid;
        } else {
          hi = mid;
        }
      }
      return kFirstYear + int(lo);
    }
    // Past the table: whole 400-year cycles first, then year by year.
    int year = LastYear();
    int64_t start = days_.At(days_.Count() - 1);
    constexpr int64_t kCycle = 146097;
    if (day - double(start) > double(kCycle)) {
      const int64_t cycles = int64_t((day - double(start)) / double(kCycle)) - 1;
      if (cycles > 0) {
        start += cycles * kCycle;
        year += int(cycles * 400);
      }
    }
    while (double(start + DaysInYear(year)) <= day) start += DaysInYear(year++);
    return year;
  }

 private:
  TArray<int64_t> days_;
};

const TYearStarts& YearStarts() {
  static const TYearStarts table;
  return table;
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kMonthDays[month - 1 + (IsLeapYear(year) ? 12 : 0)];
}

int NextMonth(int month) { return month == 12 ? 1 : month + 1; }

const TDateTimeCodes& DateTimeCodes() {
  RegisterMessages();
  return gCodes;
}

// ---------------------------------------------------------------------------
// Construction

TDateTime::TDateTime() { RegisterMessages(); }

TDateTime::TDateTime(const TDateTime& other) : TDateTimeBase(), value_(other.value_) { RegisterMessages(); }

TDateTime::TDateTime(const plat::SystemTime& fields) {
  RegisterMessages();
  if (SetDate(int16_t(fields.wYear), fields.wMonth, int8_t(fields.wDay)) == 0) {
    SetTime(int8_t(fields.wHour), int8_t(fields.wMinute), int8_t(fields.wSecond),
            int16_t(fields.wMilliseconds));
  }
}

TDateTime::TDateTime(uint32_t days, int8_t hour, int8_t minute, int8_t second, int16_t millisecond) {
  RegisterMessages();
  value_ = double(days);
  SetTime(hour, minute, second, millisecond);
}

// ---------------------------------------------------------------------------
// Setting

uint32_t TDateTime::SetDate(int16_t year16, int32_t month, int8_t day) {
  int year = year16;
  if (year < 80) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
  }
  if (year < kFirstYear) return gCodes.year;
  if (month < 1 || month > 12) return gCodes.month;
  if (day < 1 || day > DaysInMonth(year, month)) return gCodes.day;
  int64_t dayNumber = YearStarts().Start(year);
  for (int m = 1; m < month; ++m) dayNumber += DaysInMonth(year, m);
  dayNumber += day - 1;
  value_ = (value_ - std::floor(value_)) + double(dayNumber);
  return 0;
}

uint32_t TDateTime::SetTime(int8_t hour, int8_t minute, int8_t second, int16_t millisecond) {
  if (hour > 23) return gCodes.hour;
  if (minute > 59) return gCodes.minute;
  if (second > 59) return gCodes.second;
  if (millisecond > 999) return gCodes.millisecond;
  value_ = IsEmpty() ? 0.0 : std::trunc(value_);
  const int32_t ms = millisecond + 1000 * (second + 60 * (minute + 60 * hour));
  value_ = value_ + double(ms) * kDayPerMillisecond;
  return 0;
}

uint32_t TDateTime::Set(int16_t year, int32_t month, int8_t day, int8_t hour, int8_t minute, int8_t second,
                        int16_t millisecond) {
  if (uint32_t code = SetDate(year, month, day)) return code;
  return SetTime(hour, minute, second, millisecond);
}

uint32_t TDateTime::SetNow() {
  plat::SystemTime now{};
  plat::LocalTime(&now);
  // The day number of the last date asked for, per thread: the logger stamps
  // every record, and the date changes once a day.
  thread_local uint32_t cachedDate = 0;
  thread_local double cachedDay = 0.0;
  const uint32_t date = uint32_t(now.wYear) << 16 | uint32_t(now.wMonth) << 8 | now.wDay;
  if (date != cachedDate) {
    if (SetDate(int16_t(now.wYear), now.wMonth, int8_t(now.wDay)) == 0) {
      cachedDate = date;
      cachedDay = std::floor(value_);
    }
  } else {
    value_ = cachedDay;
  }
  return SetTime(int8_t(now.wHour), int8_t(now.wMinute), int8_t(now.wSecond), int16_t(now.wMilliseconds));
}

TDateTime TDateTime::Now() {
  TDateTime now;
  now.SetNow();
  return now;
}

// ---------------------------------------------------------------------------
// Reading

void TDateTime::GetDate(int16_t* year, int32_t* month, int8_t* day) const {
  int y = 1600, m = 12, d = 31;
  if (!IsEmpty()) {
    const TYearStarts& starts = YearStarts();
    y = starts.YearOf(value_);
    int64_t monthStart = starts.Start(y);
    m = 1;
    while (m != 12 && double(monthStart + DaysInMonth(y, m)) <= value_) {
      monthStart += DaysInMonth(y, m);
      m = NextMonth(m);
    }
    d = int(int64_t(std::trunc(value_)) - monthStart + 1);
  }
  if (year != nullptr) *year = int16_t(y);
  if (month != nullptr) *month = m;
  if (day != nullptr) *day = int8_t(d);
}

int32_t TDateTime::DayMilliseconds() const {
  if (IsEmpty()) return 0;
  double whole = 0.0;
  const double fraction = std::modf(value_, &whole);
  return int32_t(RoundHalfAway(fraction * 86400000.0));
}

void TDateTime::GetTime(int8_t* hour, int8_t* minute, int8_t* second, int16_t* millisecond) const {
  const int32_t ms = DayMilliseconds();
  if (hour != nullptr) *hour = int8_t(ms / 3600000);
  if (minute != nullptr) *minute = int8_t(ms % 3600000 / 60000);
  if (second != nullptr) *second = int8_t(ms % 60000 / 1000);
  if (millisecond != nullptr) *millisecond = int16_t(ms % 1000);
}

void TDateTime::GetFields(plat::SystemTime* fields) const {
  int16_t year = 0;
  int32_t month = 0;
  int8_t day = 0, hour = 0, minute = 0, second = 0;
  int16_t millisecond = 0;
  GetDate(&year, &month, &day);
  GetTime(&hour, &minute, &second, &millisecond);
  fields->wYear = uint16_t(year);
  fields->wMonth = uint16_t(month);
  fields->wDay = uint16_t(day);
  fields->wHour = uint16_t(hour);
  fields->wMinute = uint16_t(minute);
  fields->wSecond = uint16_t(second);
  fields->wMilliseconds = uint16_t(millisecond);
}

bool TDateTime::IsLater(const TDateTime& other) const {
  return IsValid() && other.IsValid() && value_ > other.value_;
}

TStatus TDateTime::Check() const {
  if (IsEmpty()) return TStatus(87, "", kSeverityError);
  return TStatus();
}

int16_t TDateTime::Year() const {
  int16_t year = 0;
  GetDate(&year, nullptr, nullptr);
  return year;
}

int32_t TDateTime::Month() const {
  int32_t month = 0;
  GetDate(nullptr, &month, nullptr);
  return month;
}

int8_t TDateTime::Day() const {
  int8_t day = 0;
  GetDate(nullptr, nullptr, &day);
  return day;
}

int8_t TDateTime::Hour() const {
  int8_t hour = 0;
  GetTime(&hour, nullptr, nullptr, nullptr);
  return hour;
}

int8_t TDateTime::Minute() const {
  int8_t minute = 0;
  GetTime(nullptr, &minute, nullptr, nullptr);
  return minute;
}

int8_t TDateTime::Second() const {
  int8_t second = 0;
  GetTime(nullptr, nullptr, &second, nullptr);
  return second;
}

int16_t TDateTime::Millisecond() const {
  int16_t millisecond = 0;
  GetTime(nullptr, nullptr, nullptr, &millisecond);
  return millisecond;
}

BStr TDateTime::ToText() const {
  plat::SystemTime f{};
  GetFields(&f);
  char text[sizeof kTextTemplate];
  std::memcpy(text, kTextTemplate, sizeof text);
  auto two = [&](int at, int value) {
    text[at] = char('0' + value / 10 % 10);
    text[at + 1] = char('0' + value % 10);
  };
  const int year = f.wYear;
  text[0] = char('0' + year / 1000 % 10);
  text[1] = char('0' + year % 1000 / 100);
  text[2] = char('0' + year % 100 / 10);
  text[3] = char('0' + year % 10);
  two(5, f.wMonth);
  two(8, f.wDay);
  two(11, f.wHour);
  two(14, f.wMinute);
  two(17, f.wSecond);
  return BStr(text);
}

}  // namespace yx

// TDateTime: a local date and time of day with millisecond resolution, held
// as one double: days since 1601-01-01 00:00:00.000, the fraction being the
// elapsed part of the day. The exact value -1.0 means empty.
//
// Calendar rules are proleptic Gregorian. Setting bad fields returns the code
// of a registered message (see the table in DateTime.cpp) and leaves the
// value as it was.
#pragma once

#include <cstdint>

#include "BStr.h"
#include "Status.h"
#include "plat/Clock.h"
#include "plat/Locale.h"

namespace yx {

bool IsLeapYear(int year);
// Days of month 1 to 12 of the year.
int DaysInMonth(int year, int month);
// The month after `month`: 12 is followed by 1.
int NextMonth(int month);

// The user's default locale, as every caller of Format passes it.
using plat::kLocaleUserDefault;

// Operations 1 to 10 of every date-time value.
class TDateTimeBase : public TYxBsMem {
 public:
  ~TDateTimeBase() override = default;
  virtual uint32_t Set(int16_t year, int32_t month, int8_t day, int8_t hour, int8_t minute, int8_t second,
                       int16_t millisecond) = 0;
  virtual BStr ToText() const = 0;
  virtual TStatus Check() const = 0;
  virtual int16_t Year() const = 0;
  virtual int32_t Month() const = 0;
  virtual int8_t Day() const = 0;
  virtual int8_t Hour() const = 0;
  virtual int8_t Minute() const = 0;
  virtual int8_t Second() const = 0;
  virtual int16_t Millisecond() const = 0;
};

class TDateTime : public TDateTimeBase {
 public:
  // The empty value.
  TDateTime();
  TDateTime(const TDateTime& other);
  // The date and time of `fields`; empty when the date is not valid.
  explicit TDateTime(const plat::SystemTime& fields);
  // Day `days` (0 = 1601-01-01) at the given time.
  TDateTime(uint32_t days, int8_t hour, int8_t minute, int8_t second, int16_t millisecond);
  TDateTime& operator=(const TDateTime& other) {
    value_ = other.value_;
    return *this;
  }
  ~TDateTime() override = default;

  // Sets the date, keeping the time of day. Years below 80 mean 20xx, 80 to
  // 99 mean 19xx. Returns 0 or the code of the year, month or day message.
  uint32_t SetDate(int16_t year, int32_t month, int8_t day);
  // Sets the time of day, keeping the date (1601-01-01 for an empty value).
  // Returns 0 or the code of the hour, minute, second or millisecond message.
  uint32_t SetTime(int8_t hour, int8_t minute, int8_t second, int16_t millisecond);
  // Sets the current local time; returns the result of SetTime.
  uint32_t SetNow();
  static TDateTime Now();

  // Outputs may be null. An empty value gives 1600-12-31 00:00:00.000.
  void GetDate(int16_t* year, int32_t* month, int8_t* day) const;
  void GetTime(int8_t* hour, int8_t* minute, int8_t* second, int16_t* millisecond) const;
  // Every field but the day of the week.
  void GetFields(plat::SystemTime* fields) const;

  bool IsValid() const { return !IsEmpty(); }
  bool IsEmpty() const { return value_ == -1.0; }
  // True when both values are valid and this one is strictly later.
  bool IsLater(const TDateTime& other) const;
  void Clear() { value_ = -1.0; }
  void Assign(const TDateTime& other) { value_ = other.value_; }
  double Value() const { return value_; }

  // The value as text by a Windows date/time picture, extended by "ii"
  // (three-digit milliseconds) and "i" (milliseconds without leading
  // zeros); text in apostrophes is literal. Empty for an empty value or when
  // the system cannot format an element.
  BStr Format(const char* pattern, uint32_t locale) const;

  uint32_t Set(int16_t year, int32_t month, int8_t day, int8_t hour, int8_t minute, int8_t second,
               int16_t millisecond) override;
  // "YYYY-MM-DD HH:MM:SS".
  BStr ToText() const override;
  // Code 87 with error severity for an empty value, else code 0.
  TStatus Check() const override;
  int16_t Year() const override;
  int32_t Month() const override;
  int8_t Day() const override;
  int8_t Hour() const override;
  int8_t Minute() const override;
  int8_t Second() const override;
  int16_t Millisecond() const override;

  // Milliseconds since midnight as GetTime computes them (0 when empty).
  int32_t DayMilliseconds() const;

 private:
  double value_ = -1.0;
};

// The message codes that SetDate and SetTime return, in registration order
// from 0x20000000 (format errors of dates and times, then year, months,
// days, hours, minutes, seconds, milliseconds).
struct TDateTimeCodes {
  uint32_t dateSeparator;
  uint32_t timeSeparator;
  uint32_t year;
  uint32_t month;
  uint32_t day;
  uint32_t hour;
  uint32_t minute;
  uint32_t second;
  uint32_t millisecond;
};
const TDateTimeCodes& DateTimeCodes();

// Constants of the library; constructing them during start-up registers the
// date-time messages before anything else can.
inline const TDateTime kEmptyDateTime;
inline const TDateTime kZeroDateTime(0, 0, 0, 0, 0);

}  // namespace yx

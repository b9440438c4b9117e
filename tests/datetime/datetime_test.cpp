// TDateTime: calendar rules, set operations with their checks and codes,
// reading fields back, emptiness, comparison and the fixed text form.

#include "DateTime.h"

#include <gtest/gtest.h>

#include <string>

namespace yx {
namespace {

struct Fields {
  int year, month, day, hour, minute, second, millisecond;
  bool operator==(const Fields& o) const {
    return year == o.year && month == o.month && day == o.day && hour == o.hour && minute == o.minute &&
           second == o.second && millisecond == o.millisecond;
  }
};

std::ostream& operator<<(std::ostream& os, const Fields& f) {
  return os << f.year << '-' << f.month << '-' << f.day << ' ' << f.hour << ':' << f.minute << ':' << f.second
            << '.' << f.millisecond;
}

Fields Read(const TDateTime& t) {
  int16_t y;
  int32_t mo;
  int8_t d, h, mi, s;
  int16_t ms;
  t.GetDate(&y, &mo, &d);
  t.GetTime(&h, &mi, &s, &ms);
  return {y, mo, d, h, mi, s, ms};
}

TEST(CalendarTest, Rules) {
  EXPECT_TRUE(IsLeapYear(2004));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2005));
  EXPECT_EQ(DaysInMonth(2004, 2), 29);
  EXPECT_EQ(DaysInMonth(2005, 2), 28);
  EXPECT_EQ(DaysInMonth(2005, 12), 31);
  EXPECT_EQ(DaysInMonth(2005, 11), 30);
  EXPECT_EQ(NextMonth(12), 1);
  EXPECT_EQ(NextMonth(1), 2);
}

TEST(DateTimeTest, SetAndReadBack) {
  TDateTime t;
  EXPECT_EQ(t.SetDate(2005, 12, 31), 0u);
  EXPECT_EQ(t.SetTime(23, 59, 59, 999), 0u);
  EXPECT_EQ(Read(t), (Fields{2005, 12, 31, 23, 59, 59, 999}));
  EXPECT_EQ(t.Year(), 2005);
  EXPECT_EQ(t.Month(), 12);
  EXPECT_EQ(t.Day(), 31);
  EXPECT_EQ(t.Hour(), 23);
  EXPECT_EQ(t.Minute(), 59);
  EXPECT_EQ(t.Second(), 59);
  EXPECT_EQ(t.Millisecond(), 999);
  EXPECT_STREQ(t.ToText().CStr(), "2005-12-31 23:59:59");
  plat::SystemTime f{};
  t.GetFields(&f);
  EXPECT_EQ(f.wYear, 2005);
  EXPECT_EQ(f.wMilliseconds, 999);
}

TEST(DateTimeTest, EveryDayOfFourCenturiesRoundTrips) {
  TDateTime t;
  int count = 0;
  for (int y = 1601; y <= 2400; y += (y < 1700 || y > 2390) ? 1 : 7) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= DaysInMonth(y, m); ++d) {
        ASSERT_EQ(t.SetDate(int16_t(y), m, int8_t(d)), 0u);
        ASSERT_EQ(Read(t), (Fields{y, m, d, 0, 0, 0, 0})) << y << '-' << m << '-' << d;
        ++count;
      }
    }
  }
  EXPECT_GT(count, 50000);
}

TEST(DateTimeTest, DayNumbersAreConsecutive) {
  TDateTime a, b;
  a.SetDate(1601, 1, 1);
  EXPECT_EQ(a.Value(), 0.0);
  a.SetDate(2004, 2, 28);
  b.SetDate(2004, 3, 1);
  EXPECT_EQ(b.Value() - a.Value(), 2.0);
  a.SetDate(2099, 12, 31);
  b.SetDate(2100, 1, 1);  // past the start-up table, summed on
  EXPECT_EQ(b.Value() - a.Value(), 1.0);
  EXPECT_EQ(Read(b), (Fields{2100, 1, 1, 0, 0, 0, 0}));
  b.SetDate(9999, 12, 31);
  EXPECT_EQ(Read(b), (Fields{9999, 12, 31, 0, 0, 0, 0}));
}

TEST(DateTimeTest, TwoDigitYears) {
  TDateTime t;
  EXPECT_EQ(t.SetDate(5, 2, 28), 0u);
  EXPECT_EQ(t.Year(), 2005);
  EXPECT_EQ(t.SetDate(99, 1, 1), 0u);
  EXPECT_EQ(t.Year(), 1999);
  EXPECT_EQ(t.SetDate(79, 1, 1), 0u);
  EXPECT_EQ(t.Year(), 2079);
  EXPECT_EQ(t.SetDate(80, 1, 1), 0u);
  EXPECT_EQ(t.Year(), 1980);
}

TEST(DateTimeTest, ChecksInOrderWithTheirCodes) {
  const TDateTimeCodes& c = DateTimeCodes();
  TDateTime t;
  t.SetDate(2001, 6, 15);
  t.SetTime(10, 30, 0, 0);
  const double before = t.Value();
  EXPECT_EQ(t.SetDate(5, 2, 29), c.day);  // 2005 is not a leap year
  EXPECT_EQ(t.SetDate(1600, 1, 1), c.year);
  EXPECT_EQ(t.SetDate(2000, 13, 1), c.month);
  EXPECT_EQ(t.SetDate(2000, 0, 1), c.month);
  EXPECT_EQ(t.SetDate(2000, 1, 0), c.day);
  EXPECT_EQ(t.SetDate(1500, 13, 0), c.year);  // the year is tested first
  EXPECT_EQ(t.SetTime(24, 0, 0, 0), c.hour);
  EXPECT_EQ(t.SetTime(0, 60, 0, 0), c.minute);
  EXPECT_EQ(t.SetTime(0, 0, 60, 0), c.second);
  EXPECT_EQ(t.SetTime(0, 0, 0, 1000), c.millisecond);
  EXPECT_EQ(t.SetTime(24, 60, 60, 1000), c.hour);
  EXPECT_EQ(t.Value(), before);
  EXPECT_EQ(t.SetDate(4, 2, 29), 0u);
  EXPECT_EQ(Read(t), (Fields{2004, 2, 29, 10, 30, 0, 0}));  // the time stays
  EXPECT_EQ(t.SetTime(8, 0, 0, 0), 0u);
  EXPECT_EQ(Read(t), (Fields{2004, 2, 29, 8, 0, 0, 0}));  // the date stays
  EXPECT_EQ(t.Set(2010, 5, 6, 7, 8, 9, 10), 0u);
  EXPECT_EQ(Read(t), (Fields{2010, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(t.Set(2010, 2, 30, 7, 8, 9, 10), c.day);
}

TEST(DateTimeTest, NoonDoesNotRoundTheDay) {
  TDateTime t;
  t.SetDate(2005, 3, 7);
  t.SetTime(12, 0, 0, 0);
  EXPECT_EQ(t.Day(), 7);
  t.SetTime(23, 59, 59, 999);
  EXPECT_EQ(t.Day(), 7);
}

TEST(DateTimeTest, EmptyValue) {
  TDateTime t;
  EXPECT_FALSE(t.IsValid());
  const TStatus s = t.Check();
  EXPECT_EQ(s.Code(), 87u);
  EXPECT_TRUE(s.IsError());
  EXPECT_EQ(Read(t), (Fields{1600, 12, 31, 0, 0, 0, 0}));
  EXPECT_STREQ(t.ToText().CStr(), "1600-12-31 00:00:00");
  TDateTime now = TDateTime::Now();
  EXPECT_FALSE(t.IsLater(now));
  EXPECT_FALSE(now.IsLater(t));
  EXPECT_FALSE(t.IsLater(t));
  EXPECT_EQ(t.SetTime(1, 2, 3, 4), 0u);  // a time alone lands on 1601-01-01
  EXPECT_EQ(Read(t), (Fields{1601, 1, 1, 1, 2, 3, 4}));
  t.Clear();
  EXPECT_EQ(t.SetDate(2001, 1, 1), 0u);  // a date alone is at midnight
  EXPECT_EQ(Read(t), (Fields{2001, 1, 1, 0, 0, 0, 0}));
}

TEST(DateTimeTest, ZeroValueAndConstants) {
  EXPECT_TRUE(kEmptyDateTime.IsEmpty());
  EXPECT_EQ(kZeroDateTime.Value(), 0.0);
  EXPECT_STREQ(kZeroDateTime.ToText().CStr(), "1601-01-01 00:00:00");
  EXPECT_TRUE(kZeroDateTime.Check().Succeeded());
  TDateTime t(10, 1, 2, 3, 4);
  EXPECT_EQ(Read(t), (Fields{1601, 1, 11, 1, 2, 3, 4}));
}

TEST(DateTimeTest, FromSystemTimeFields) {
  plat::SystemTime f{2012, 2, 0, 29, 13, 14, 15, 16};
  EXPECT_EQ(Read(TDateTime(f)), (Fields{2012, 2, 29, 13, 14, 15, 16}));
  plat::SystemTime bad{2013, 2, 0, 29, 13, 14, 15, 16};
  EXPECT_TRUE(TDateTime(bad).IsEmpty());
}

TEST(DateTimeTest, LaterAndAssign) {
  TDateTime a, b;
  a.Set(2005, 1, 1, 0, 0, 0, 1);
  b.Set(2005, 1, 1, 0, 0, 0, 0);
  EXPECT_TRUE(a.IsLater(b));
  EXPECT_FALSE(b.IsLater(a));
  b.Assign(a);
  EXPECT_FALSE(a.IsLater(b));
  TDateTime c(a);
  EXPECT_EQ(c.Value(), a.Value());
}

TEST(DateTimeTest, NowIsTheLocalClock) {
  plat::SystemTime before{}, after{};
  plat::LocalTime(&before);
  TDateTime now;
  EXPECT_EQ(now.SetNow(), 0u);
  plat::LocalTime(&after);
  EXPECT_GE(now.Year(), before.wYear);
  EXPECT_LE(now.Year(), after.wYear);
  EXPECT_GE(now.Year(), 2024);
}

TEST(DateTimeTest, MillisecondsSurviveTheDoubleForManyDays) {
  TDateTime t;
  for (int y : {1601, 1999, 2026, 2400, 9000}) {
    t.SetDate(int16_t(y), 7, 13);
    for (int ms = 0; ms < 86400000; ms += 86400000 / 997) {
      t.SetTime(int8_t(ms / 3600000), int8_t(ms / 60000 % 60), int8_t(ms / 1000 % 60), int16_t(ms % 1000));
      ASSERT_EQ(t.DayMilliseconds(), ms) << y;
    }
  }
}

TEST(DateTimeTest, MessagesHoldTheFirstApplicationCodes) {
  const TDateTimeCodes& codes = DateTimeCodes();
  EXPECT_EQ(codes.dateSeparator, 0x20000000u);
  EXPECT_EQ(codes.year, 0x20000002u);
  EXPECT_EQ(codes.millisecond, 0x20000008u);
  // Ошибка в номере года.
  EXPECT_STREQ(MessageText(0x20000002u).CStr(),
               "\xce\xf8\xe8\xe1\xea\xe0 \xe2 \xed\xee\xec\xe5\xf0\xe5 \xe3\xee\xe4\xe0.");
  EXPECT_STREQ(MessageText(0x2000FFFFu).CStr(), "");
}

}  // namespace
}  // namespace yx

// Platform services of the date-time value and the status object: the
// message catalogue, the clock and the date and time picture formatters.
// The same expectations hold on Linux and for the Windows functions under
// Wine; where the wording of a text differs between the two, the test accepts
// each system's own.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plat/Clock.h"
#include "plat/DatePicture.h"
#include "plat/Error.h"
#include "plat/Locale.h"
#include "plat/Messages.h"
#include "plat/Text.h"

namespace {

bool IsRussianUser() { return plat::UserLanguageId() == plat::kLangRussian; }

// The text of a code, or "<none: error>" when the catalogue gives none.
std::string Message(uint32_t code, uint16_t langId) {
  char buf[512];
  plat::SetLastError(0);
  const uint32_t n = plat::SystemMessage(code, langId, buf, sizeof buf);
  if (n == 0) return "<none: " + std::to_string(plat::LastError()) + ">";
  EXPECT_EQ(std::strlen(buf), n);
  return std::string(buf, n);
}

bool OneOf(const std::string& text, const std::vector<std::string>& choices) {
  for (const auto& c : choices) {
    if (text == c) return true;
  }
  return false;
}

// Cyrillic letters seen through code page 1252: FormatMessageA converts the
// Russian text to the user's ANSI code page.
std::string AsUserCodePage(std::string cp1251) {
  if (plat::AnsiCodePage() == 1251) return cp1251;
  for (char& c : cp1251) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return cp1251;
}

// Windows' wording, then Wine's.
const std::vector<std::string> kEnglishSuccess = {"The operation completed successfully.\r\n",
                                                  "Success.\r\n"};
const std::vector<std::string> kEnglishBadParameter = {"The parameter is incorrect.\r\n",
                                                       "Invalid parameter.\r\n"};
const std::vector<std::string> kRussianSuccess = {
    // Операция успешно завершена.
    AsUserCodePage("\xce\xef\xe5\xf0\xe0\xf6\xe8\xff \xf3\xf1\xef\xe5\xf8\xed\xee "
                   "\xe7\xe0\xe2\xe5\xf0\xf8\xe5\xed\xe0.\r\n"),
    // Выполнено успешно.
    AsUserCodePage("\xc2\xfb\xef\xee\xeb\xed\xe5\xed\xee \xf3\xf1\xef\xe5\xf8\xed\xee.\r\n")};
const std::vector<std::string> kRussianBadParameter = {
    // Параметр задан неверно.
    AsUserCodePage("\xcf\xe0\xf0\xe0\xec\xe5\xf2\xf0 \xe7\xe0\xe4\xe0\xed \xed\xe5\xe2\xe5\xf0\xed\xee.\r\n"),
    // Неверный параметр.
    AsUserCodePage("\xcd\xe5\xe2\xe5\xf0\xed\xfb\xe9 \xef\xe0\xf0\xe0\xec\xe5\xf2\xf0.\r\n")};

TEST(SystemMessageTest, SuccessAndBadParameterInEnglish) {
  EXPECT_TRUE(OneOf(Message(0, plat::kLangEnglishUS), kEnglishSuccess)) << Message(0, plat::kLangEnglishUS);
  EXPECT_TRUE(OneOf(Message(87, plat::kLangEnglishUS), kEnglishBadParameter))
      << Message(87, plat::kLangEnglishUS);
}

TEST(SystemMessageTest, SuccessAndBadParameterInRussian) {
  EXPECT_TRUE(OneOf(Message(0, plat::kLangRussian), kRussianSuccess)) << Message(0, plat::kLangRussian);
  EXPECT_TRUE(OneOf(Message(87, plat::kLangRussian), kRussianBadParameter))
      << Message(87, plat::kLangRussian);
}

TEST(SystemMessageTest, UserLanguageSelectsTheTexts) {
  const uint16_t lang = plat::UserLanguageId();
  if (IsRussianUser()) {
    EXPECT_TRUE(OneOf(Message(0, lang), kRussianSuccess));
    EXPECT_TRUE(OneOf(Message(87, lang), kRussianBadParameter));
  } else {
    EXPECT_TRUE(OneOf(Message(0, lang), kEnglishSuccess));
    EXPECT_TRUE(OneOf(Message(87, lang), kEnglishBadParameter));
  }
  // The neutral language stands for the user's.
  EXPECT_EQ(Message(87, lang), Message(87, 0));
}

TEST(SystemMessageTest, EveryProducedCodeHasOneParagraphEndingInLineBreak) {
  const uint32_t codes[] = {0,   1,   2,   3,   4,   5,    6,    8,    19,   31,   32,   33,   50,   80,  87,
                            112, 120, 122, 183, 206, 1060, 1062, 1115, 1168, 1223, 1314, 1359, 1444, 1460};
  for (const uint16_t lang : {plat::kLangEnglishUS, plat::kLangRussian}) {
    for (const uint32_t code : codes) {
      const std::string text = Message(code, lang);
      SCOPED_TRACE("code " + std::to_string(code) + " language " + std::to_string(lang) + ": " + text);
      ASSERT_GE(text.size(), 3u);
      EXPECT_EQ("\r\n", text.substr(text.size() - 2));
      EXPECT_EQ(std::string::npos, text.substr(0, text.size() - 2).find_first_of("\r\n"));
    }
  }
}

TEST(SystemMessageTest, BufferMustHoldTextAndZero) {
  char buf[512];
  const uint32_t n = plat::SystemMessage(5, plat::kLangEnglishUS, buf, sizeof buf);
  ASSERT_GT(n, 0u);
  const std::string text(buf, n);

  std::memset(buf, '#', sizeof buf);
  plat::SetLastError(0);
  EXPECT_EQ(0u, plat::SystemMessage(5, plat::kLangEnglishUS, buf, n));
  EXPECT_EQ(plat::kErrorInsufficientBuffer, plat::LastError());

  plat::SetLastError(0);
  EXPECT_EQ(0u, plat::SystemMessage(5, plat::kLangEnglishUS, buf, 0));
  EXPECT_EQ(plat::kErrorInsufficientBuffer, plat::LastError());

  EXPECT_EQ(n, plat::SystemMessage(5, plat::kLangEnglishUS, buf, n + 1));
  EXPECT_EQ(text, std::string(buf));
}

TEST(SystemMessageTest, UnknownCodeHasNoText) {
  EXPECT_EQ("<none: 317>", Message(0x20000009, plat::kLangEnglishUS));
  EXPECT_EQ("<none: 317>", Message(99999, plat::UserLanguageId()));
}

TEST(SystemMessageTest, Win32HresultFoldsToItsCode) {
  EXPECT_EQ(Message(5, plat::kLangEnglishUS), Message(0x80070005, plat::kLangEnglishUS));
}

TEST(SystemMessageTest, MissingLanguageHasNoText) {
  char buf[512];
  plat::SetLastError(0);
  EXPECT_EQ(0u, plat::SystemMessage(87, 0x0439, buf, sizeof buf));  // Hindi
  const uint32_t error = plat::LastError();
  EXPECT_TRUE(error == plat::kErrorMuiFileNotFound || error == plat::kErrorResourceLangNotFound) << error;
}

// --- Clock ---

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Day of the week (0 = Sunday) by Sakamoto's method.
int DayOfWeek(int y, int m, int d) {
  static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  return (y + y / 4 - y / 100 + y / 400 + t[m - 1] + d) % 7;
}

TEST(ClockTest, LocalTimeIsSane) {
  plat::SystemTime now{};
  plat::LocalTime(&now);
  EXPECT_GE(now.wYear, 2020);
  EXPECT_LE(now.wYear, 2200);
  ASSERT_GE(now.wMonth, 1);
  ASSERT_LE(now.wMonth, 12);
  const int days[] = {31, IsLeap(now.wYear) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  EXPECT_GE(now.wDay, 1);
  EXPECT_LE(now.wDay, days[now.wMonth - 1]);
  EXPECT_LE(now.wHour, 23);
  EXPECT_LE(now.wMinute, 59);
  EXPECT_LE(now.wSecond, 59);
  EXPECT_LE(now.wMilliseconds, 999);
  EXPECT_EQ(DayOfWeek(now.wYear, now.wMonth, now.wDay), now.wDayOfWeek);
}

TEST(ClockTest, TickCountNeverGoesBackAndAdvances) {
  const uint32_t start = plat::TickCount();
  uint32_t previous = start;
  // Wait, boundedly, until the counter has moved on by some milliseconds.
  for (long i = 0; i < 200000000L && previous - start < 20; ++i) {
    const uint32_t now = plat::TickCount();
    ASSERT_LE(now - start, 60000u) << "the counter went back or jumped";
    ASSERT_GE(now - start, previous - start) << "the counter went back";
    previous = now;
  }
  EXPECT_GE(previous - start, 20u);
}

// --- Date and time pictures ---

// 2005-03-07 is a Monday; the day of the week given here is wrong on purpose:
// the date pass recomputes it.
const plat::SystemTime kMorning = {2005, 3, 6, 7, 9, 5, 3, 45};
const plat::SystemTime kEvening = {2005, 3, 6, 7, 21, 5, 3, 45};

std::string Date(const plat::SystemTime& t, const char* picture, uint32_t locale = plat::kLocaleUserDefault) {
  char buf[256];
  plat::SetLastError(0);
  const int n = plat::FormatDate(locale, &t, picture, buf, sizeof buf);
  if (n == 0) return "<error " + std::to_string(plat::LastError()) + ">";
  EXPECT_EQ(std::strlen(buf) + 1, static_cast<size_t>(n));
  return buf;
}

std::string Time(const plat::SystemTime& t, const char* picture) {
  char buf[256];
  plat::SetLastError(0);
  const int n = plat::FormatTime(plat::kLocaleUserDefault, &t, picture, buf, sizeof buf);
  if (n == 0) return "<error " + std::to_string(plat::LastError()) + ">";
  EXPECT_EQ(std::strlen(buf) + 1, static_cast<size_t>(n));
  return buf;
}

TEST(DatePictureTest, NumericDateElements) {
  EXPECT_EQ("7 07 3 03 05 2005", Date(kMorning, "d dd M MM yy yyyy"));
  EXPECT_EQ("07.03.2005", Date(kMorning, "dd.MM.yyyy"));
  EXPECT_EQ("20050307", Date(kMorning, "yyyyMMdd"));
  EXPECT_EQ("31.12.1601", Date({1601, 12, 0, 31, 0, 0, 0, 0}, "dd.MM.yyyy"));
}

TEST(DatePictureTest, NumericTimeElements) {
  EXPECT_EQ("9 09 9 09 5 05 3 03", Time(kMorning, "h hh H HH m mm s ss"));
  EXPECT_EQ("9 09 21 21", Time(kEvening, "h hh H HH"));
  EXPECT_EQ("12 00", Time({2005, 3, 0, 7, 0, 0, 0, 0}, "h HH"));
  EXPECT_EQ("12 12", Time({2005, 3, 0, 7, 12, 0, 0, 0}, "h HH"));
  EXPECT_EQ("09:05:03.", Time(kMorning, "HH:mm:ss."));
}

TEST(DatePictureTest, EnglishNames) {
  if (IsRussianUser()) GTEST_SKIP() << "English user only";
  EXPECT_EQ("Mon Monday", Date(kMorning, "ddd dddd"));
  EXPECT_EQ("Mar March", Date(kMorning, "MMM MMMM"));
  EXPECT_EQ("Monday, March 7, 2005", Date(kMorning, "dddd, MMMM d, yyyy"));
  EXPECT_EQ("Sun Sunday Dec December", Date({2006, 12, 0, 31, 0, 0, 0, 0}, "ddd dddd MMM MMMM"));
  EXPECT_EQ("AM", Time(kMorning, "tt"));
  EXPECT_EQ("P PM", Time(kEvening, "t tt"));
}

TEST(DatePictureTest, RussianNamesAndGenitive) {
  if (!IsRussianUser()) GTEST_SKIP() << "Russian user only";
  // понедельник
  EXPECT_EQ("\xef\xee\xed\xe5\xe4\xe5\xeb\xfc\xed\xe8\xea", Date(kMorning, "dddd"));
  // воскресенье
  EXPECT_EQ("\xe2\xee\xf1\xea\xf0\xe5\xf1\xe5\xed\xfc\xe5", Date({2006, 12, 0, 31, 0, 0, 0, 0}, "dddd"));
  // март: the month named alone
  EXPECT_EQ("\xec\xe0\xf0\xf2", Date(kMorning, "MMMM"));
  // 7 марта 2005: after a day number the genitive
  EXPECT_EQ("7 \xec\xe0\xf0\xf2\xe0 2005", Date(kMorning, "d MMMM yyyy"));
  // 31 декабря
  EXPECT_EQ("31 \xe4\xe5\xea\xe0\xe1\xf0\xff", Date({2006, 12, 0, 31, 0, 0, 0, 0}, "dd MMMM"));
  // понедельник март: a day name does not call for the genitive
  EXPECT_EQ("\xef\xee\xed\xe5\xe4\xe5\xeb\xfc\xed\xe8\xea \xec\xe0\xf0\xf2", Date(kMorning, "dddd MMMM"));
}

TEST(DatePictureTest, ExplicitLocalesChooseTheLanguage) {
  EXPECT_EQ("Monday March", Date(kMorning, "dddd MMMM", plat::kLangEnglishUS));
  // понедельник март, in code page 1251 whatever the user's code page
  EXPECT_EQ("\xef\xee\xed\xe5\xe4\xe5\xeb\xfc\xed\xe8\xea \xec\xe0\xf0\xf2",
            Date(kMorning, "dddd MMMM", plat::kLangRussian));
}

TEST(DatePictureTest, QuotedTextIsLiteral) {
  EXPECT_EQ("d 7", Date(kMorning, "'d' d"));
  EXPECT_EQ("it's 7", Date(kMorning, "'it''s' d"));
  EXPECT_EQ("'", Date(kMorning, "''''"));
  EXPECT_EQ("7", Date(kMorning, "''d''"));  // outside literal text '' is an empty literal
  EXPECT_EQ("dd 07", Date(kMorning, "'dd 'dd"));
  EXPECT_EQ("7 MM", Date(kMorning, "d 'MM"));  // an open literal runs to the end
  EXPECT_EQ("09h05", Time(kMorning, "HH'h'mm"));
  EXPECT_EQ("x'y", Time(kMorning, "'x''y'"));
}

TEST(DatePictureTest, EachPassCopiesTheOtherPassLetters) {
  EXPECT_EQ("07.03.2005 HH:mm:ss", Date(kMorning, "dd.MM.yyyy HH:mm:ss"));
  EXPECT_EQ("dd.MM.yyyy 09:05:03", Time(kMorning, "dd.MM.yyyy HH:mm:ss"));
  EXPECT_EQ("Pool, AD 2005!", Time(kMorning, "Pool, AD 2005!"));
}

TEST(DatePictureTest, LongRunsOfTimeLetters) {
  EXPECT_EQ("09 09 05 03", Time(kMorning, "hhh HHHH mmm sssss"));
}

TEST(DatePictureTest, SizeQueryCountsTheZero) {
  EXPECT_EQ(11, plat::FormatDate(plat::kLocaleUserDefault, &kMorning, "dd.MM.yyyy", nullptr, 0));
  EXPECT_EQ(9, plat::FormatTime(plat::kLocaleUserDefault, &kMorning, "HH:mm:ss", nullptr, 0));
  EXPECT_EQ(1, plat::FormatDate(plat::kLocaleUserDefault, &kMorning, "", nullptr, 0));
}

TEST(DatePictureTest, TooSmallBufferFails) {
  char buf[16];
  plat::SetLastError(0);
  EXPECT_EQ(0, plat::FormatDate(plat::kLocaleUserDefault, &kMorning, "dd.MM.yyyy", buf, 10));
  EXPECT_EQ(plat::kErrorInsufficientBuffer, plat::LastError());
  plat::SetLastError(0);
  EXPECT_EQ(0, plat::FormatTime(plat::kLocaleUserDefault, &kMorning, "HH:mm:ss", buf, 8));
  EXPECT_EQ(plat::kErrorInsufficientBuffer, plat::LastError());
  EXPECT_EQ(11, plat::FormatDate(plat::kLocaleUserDefault, &kMorning, "dd.MM.yyyy", buf, 11));
  EXPECT_STREQ("07.03.2005", buf);
}

TEST(DatePictureTest, BadArgumentsFail) {
  char buf[16];
  plat::SetLastError(0);
  EXPECT_EQ(0, plat::FormatDate(plat::kLocaleUserDefault, &kMorning, "d", buf, -1));
  EXPECT_EQ(plat::kErrorInvalidParameter, plat::LastError());
  plat::SetLastError(0);
  EXPECT_EQ(0, plat::FormatTime(plat::kLocaleUserDefault, &kMorning, "H", nullptr, 5));
  EXPECT_EQ(plat::kErrorInvalidParameter, plat::LastError());
}

TEST(DatePictureTest, DatePassRefusesImpossibleDates) {
  EXPECT_EQ("<error 87>", Date({2005, 13, 0, 7, 0, 0, 0, 0}, "d"));
  EXPECT_EQ("<error 87>", Date({2005, 0, 0, 7, 0, 0, 0, 0}, "d"));
  EXPECT_EQ("<error 87>", Date({2005, 4, 0, 31, 0, 0, 0, 0}, "d"));
  EXPECT_EQ("<error 87>", Date({2005, 4, 0, 0, 0, 0, 0, 0}, "d"));
  EXPECT_EQ("<error 87>", Date({1600, 12, 0, 31, 0, 0, 0, 0}, "d"));
  EXPECT_EQ("29.02.2004", Date({2004, 2, 0, 29, 0, 0, 0, 0}, "dd.MM.yyyy"));
  // The date pass ignores the time fields.
  EXPECT_EQ("7", Date({2005, 3, 0, 7, 25, 61, 61, 1000}, "d"));
}

TEST(DatePictureTest, TimePassRefusesImpossibleTimes) {
  EXPECT_EQ("<error 87>", Time({2005, 3, 0, 7, 24, 0, 0, 0}, "H"));
  EXPECT_EQ("<error 87>", Time({2005, 3, 0, 7, 0, 60, 0, 0}, "H"));
  EXPECT_EQ("<error 87>", Time({2005, 3, 0, 7, 0, 0, 60, 0}, "H"));
  EXPECT_EQ("<error 87>", Time({2005, 3, 0, 7, 0, 0, 0, 1000}, "H"));
  // The time pass ignores the date fields.
  EXPECT_EQ("23:59:59", Time({0, 13, 9, 40, 23, 59, 59, 999}, "HH:mm:ss"));
}

TEST(DatePictureTest, NullPictureTakesTheLocaleFormat) {
  if (IsRussianUser()) {
    EXPECT_EQ("07.03.2005", Date(kMorning, nullptr));
    EXPECT_EQ("21:05:03", Time(kEvening, nullptr));
  } else {
    EXPECT_EQ("3/7/2005", Date(kMorning, nullptr));
    EXPECT_EQ("9:05:03 PM", Time(kEvening, nullptr));
  }
}

TEST(DatePictureTest, NullTimeFormatsNow) {
  plat::SystemTime now{};
  plat::LocalTime(&now);
  char buf[16];
  ASSERT_EQ(5, plat::FormatDate(plat::kLocaleUserDefault, nullptr, "yyyy", buf, sizeof buf));
  const int year = std::stoi(buf);
  EXPECT_TRUE(year == now.wYear || year == now.wYear + 1) << buf;
}

}  // namespace

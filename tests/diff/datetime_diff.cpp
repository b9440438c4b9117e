// Differential table of the date and time services: prints, one line per
// case, what the platform layer gives for a table of (date-time, picture)
// cases and the form of some message texts. The Linux build and the Windows
// build (under Wine) must print the same lines in the same locale;
// tests/diff/run_datetime_diff.sh compares them.
//
// To extend it, add rows to kPictureCases or kSizeCases, or a new section
// printed from main.
//
// Keep pictures and results below 128 characters: Wine's GetDateFormatA and
// GetTimeFormatA convert through 128-character buffers and fail (122) or
// return garbage beyond them, which Windows and the POSIX layer do not.

#include <cstdio>
#include <cstring>
#include <string>

#include "DateTime.h"
#include "plat/Clock.h"
#include "plat/DatePicture.h"
#include "plat/Error.h"
#include "plat/Locale.h"
#include "plat/Messages.h"

namespace {

// One formatter call: the pass, the fields, the picture (null: the locale's
// default) and the locale.
struct TPictureCase {
  char pass;  // 'D' date, 'T' time
  plat::SystemTime time;
  const char* picture;
  uint32_t locale = plat::kLocaleUserDefault;
};

// 2005-03-07 is a Monday; the day-of-week field is left wrong on purpose.
constexpr plat::SystemTime kMon{2005, 3, 0, 7, 9, 5, 3, 45};
constexpr plat::SystemTime kEve{2005, 12, 0, 31, 23, 59, 7, 5};

const TPictureCase kPictureCases[] = {
    // Every date element, and runs longer than the listed ones.
    {'D', kMon, "d dd ddd dddd ddddd dddddd"},
    {'D', kMon, "M MM MMM MMMM MMMMM MMMMMM"},
    {'D', kMon, "y yy yyy yyyy yyyyy yyyyyy"},
    {'D', kMon, "g gg ggg"},
    {'D', kEve, "dd.MM.yyyy"},
    {'D', kEve, "yyyyMMdd"},
    {'D', kEve, "dddd, MMMM d, yyyy gg"},
    // Every time element, and longer runs.
    {'T', kMon, "h hh hhh H HH HHH m mm mmm s ss sss t tt ttt"},
    {'T', kEve, "h hh hhh H HH HHH m mm mmm s ss sss t tt ttt"},
    {'T', {2005, 3, 0, 7, 0, 0, 0, 0}, "h hh H HH t tt"},
    {'T', {2005, 3, 0, 7, 11, 59, 59, 999}, "h hh H HH t tt"},
    {'T', {2005, 3, 0, 7, 12, 0, 0, 0}, "h hh H HH t tt"},
    {'T', {2005, 3, 0, 7, 13, 1, 2, 3}, "h hh H HH t tt"},
    {'T', kEve, "HH:mm:ss"},
    // The logger's own patterns, each pass copying the other's letters.
    {'D', kEve, "dd.MM.yyyy HH:mm:ss.ii"},
    {'T', kEve, "31.12.2005 HH:mm:ss.005"},
    {'D', kEve, "yyyyMMdd-HHmmssii"},
    {'T', kEve, "20051231-HHmmss005"},
    // Quoting: literals, doubled apostrophes, an open literal at the end.
    {'D', kMon, "'d' d 'it''s' dd"},
    {'D', kMon, "''d''"},
    {'D', kMon, "''''"},
    {'D', kMon, "'''''"},
    {'D', kMon, "a'''b"},
    {'D', kMon, "d 'MMMM"},
    {'D', kMon, "dd'"},
    {'D', kMon, "'"},
    {'T', kEve, "HH'h'mm"},
    {'T', kEve, "HH:mm '''at''' ss"},
    {'T', kEve, "mm''''ss"},
    {'T', kEve, "'Time' ss.045"},
    // Month names next to a day number, and where the genitive does not apply.
    // Wine's 64-bit GetDateFormatA gives "MMMM yyyy" the genitive when it
    // comes right after the picture "MMMM|d MMMM|MMM|d MMM" (alone it gives
    // the nominative, as Windows does), so it stands before that row.
    {'D', kMon, "MMMM yyyy"},
    {'D', kMon, "d MMMM"},
    {'D', kMon, "dd MMMM yyyy"},
    {'D', kMon, "MMMM d"},
    {'D', kMon, "MMMMd"},
    {'D', kMon, "MMMM    d"},
    {'D', kMon, "MMMM 12 d"},
    {'D', kMon, "MMMM 'a'd"},
    {'D', kMon, "MMMM123 ddd"},
    {'D', kMon, "MMMM12dddd"},
    {'D', kMon, "MMMM|d MMMM|MMM|d MMM"},
    {'D', kMon, "dddd MMMM"},
    {'D', kMon, "d ddd MMMM"},
    {'D', kMon, "ddd d MMMM"},
    {'D', kMon, "d yyyy MMMM"},
    {'D', kMon, "'d' MMMM"},
    {'D', kMon, "d MMM"},
    {'D', kMon, "MMM d"},
    {'D', kMon, "MMM123d"},
    {'D', kMon, "MMMMM12345d"},
    {'D', kMon, "MMMMM1234d"},
    // Dates the date pass accepts, corrects or refuses.
    {'D', {1601, 1, 0, 1, 0, 0, 0, 0}, "dddd d MMMM yyyy"},
    {'D', {2004, 2, 0, 29, 0, 0, 0, 0}, "dddd d MMMM yyyy"},
    {'D', {2005, 2, 0, 29, 0, 0, 0, 0}, "dddd d MMMM yyyy"},
    {'D', {2100, 2, 0, 29, 0, 0, 0, 0}, "dddd d MMMM yyyy"},
    {'D', {2000, 2, 0, 30, 0, 0, 0, 0}, "d"},
    {'D', {2005, 4, 0, 31, 0, 0, 0, 0}, "d"},
    {'D', {2005, 13, 0, 1, 0, 0, 0, 0}, "d"},
    {'D', {2005, 0, 0, 1, 0, 0, 0, 0}, "d"},
    {'D', {2005, 1, 0, 0, 0, 0, 0, 0}, "d"},
    {'D', {1600, 12, 0, 31, 0, 0, 0, 0}, "d"},
    {'D', {30828, 9, 0, 14, 0, 0, 0, 0}, "dddd d MMMM yyyy yy"},
    {'D', {30828, 9, 0, 15, 0, 0, 0, 0}, "d"},
    {'D', {2005, 3, 0, 7, 25, 61, 61, 1000}, "d"},
    // Times the time pass refuses; it ignores the date.
    {'T', {2005, 3, 0, 7, 24, 0, 0, 0}, "H"},
    {'T', {2005, 3, 0, 7, 0, 60, 0, 0}, "H"},
    {'T', {2005, 3, 0, 7, 0, 0, 60, 0}, "H"},
    {'T', {2005, 3, 0, 7, 0, 0, 0, 1000}, "H"},
    {'T', {0, 13, 9, 40, 23, 59, 59, 999}, "HH:mm:ss"},
    // The locale's default pictures, and explicit locales.
    {'D', kEve, nullptr},
    {'T', kEve, nullptr},
    {'T', kMon, nullptr},
    {'D', kMon, "dddd d MMMM gg", 0x0409},
    {'D', kMon, "dddd d MMMM gg", 0x0419},
    {'D', kMon, "dddd d MMMM gg", 0x0000},
    {'D', kMon, "d", 0x12345},
    // Characters of the upper half of the code page pass unchanged.
    {'D', kMon, "\x80\x98\xa0\xa8\xb8\xc0\xdf\xe0\xff d"},
};

// Buffer sizes around the needed one.
struct TSizeCase {
  char pass;
  const char* picture;
  int size;
};

const TSizeCase kSizeCases[] = {
    {'D', "dd.MM.yyyy", 0}, {'D', "dd.MM.yyyy", 1},  {'D', "dd.MM.yyyy", 10}, {'D', "dd.MM.yyyy", 11},
    {'T', "HH:mm:ss", 0},   {'T', "HH:mm:ss", 8},    {'T', "HH:mm:ss", 9},    {'D', "", 0},
    {'D', "", 1},           {'D', "dd.MM.yyyy", -1},
};

// Bytes outside printable ASCII, and the backslash, as \xNN.
std::string Escape(const char* text, size_t length) {
  std::string out;
  char hex[8];
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7f || c == '\\') {
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string Fields(const plat::SystemTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
}

int Call(char pass, uint32_t locale, const plat::SystemTime* time, const char* picture, char* buf, int size) {
  return pass == 'D' ? plat::FormatDate(locale, time, picture, buf, size)
                     : plat::FormatTime(locale, time, picture, buf, size);
}

void PrintPictureCase(const TPictureCase& c) {
  char buf[512];
  plat::SetLastError(0);
  const int query = Call(c.pass, c.locale, &c.time, c.picture, nullptr, 0);
  const uint32_t queryError = query == 0 ? plat::LastError() : 0;
  plat::SetLastError(0);
  const int n = Call(c.pass, c.locale, &c.time, c.picture, buf, sizeof buf);
  const uint32_t error = n == 0 ? plat::LastError() : 0;
  const std::string picture = c.picture == nullptr ? "(null)" : Escape(c.picture, std::strlen(c.picture));
  std::printf("%c %04x %s [%s] size=%d/%lu n=%d/%lu [%s]\n", c.pass, static_cast<unsigned>(c.locale),
              Fields(c.time).c_str(), picture.c_str(), query, static_cast<unsigned long>(queryError), n,
              static_cast<unsigned long>(error), n > 0 ? Escape(buf, std::strlen(buf)).c_str() : "");
}

void PrintSizeCase(const TSizeCase& c) {
  char buf[64];
  plat::SetLastError(0);
  const int n = Call(c.pass, plat::kLocaleUserDefault, &kEve, c.picture, c.size == 0 ? nullptr : buf, c.size);
  const uint32_t error = n == 0 ? plat::LastError() : 0;
  std::printf("S %c [%s] size %d: n=%d/%lu\n", c.pass, c.picture, c.size, n,
              static_cast<unsigned long>(error));
}

// The form of a message text: present, one paragraph, ending in a line break.
void PrintMessageForm(uint32_t code) {
  char buf[512];
  const uint32_t n = plat::SystemMessage(code, plat::UserLanguageId(), buf, sizeof buf);
  const std::string text(buf, n);
  const bool ends = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
  const std::string body = ends ? text.substr(0, text.size() - 2) : text;
  const bool single = body.find_first_of("\r\n") == std::string::npos;
  std::printf("M %lu nonempty=%s single=%s crlf=%s\n", static_cast<unsigned long>(code), n > 0 ? "yes" : "no",
              single ? "yes" : "no", ends ? "yes" : "no");
}

// TDateTime::Format: the library's pattern language (the system's pictures
// with "ii", "i" and quoting) on values that exercise every element.
struct TFormatCase {
  int year, month, day, hour, minute, second, millisecond;
  const char* pattern;
};

const TFormatCase kFormatCases[] = {
    {2005, 12, 31, 23, 59, 7, 5, "dd.MM.yyyy HH:mm:ss.ii"},
    {2005, 12, 31, 23, 59, 7, 5, "yyyyMMdd-HHmmssii"},
    {2005, 3, 7, 9, 5, 3, 45, "dd.MM.yyyy HH:mm:ss.ii"},
    {2005, 3, 7, 9, 5, 3, 45, "yyyyMMdd-HHmmssii"},
    {2005, 12, 31, 23, 59, 7, 5, "ss.i"},
    {2005, 12, 31, 23, 59, 7, 250, "ss.i"},
    {2005, 12, 31, 23, 59, 7, 7, "iii"},
    {2005, 12, 31, 23, 59, 7, 9, "iiii iiiii i ii"},
    {2005, 12, 31, 23, 59, 7, 0, "HH:mm 'at' dd.MM"},
    {2005, 12, 31, 23, 59, 7, 0, "HH'h'mm"},
    {2005, 12, 31, 23, 59, 7, 45, "ss.ii 'ii'"},
    {2005, 12, 31, 23, 59, 7, 45, "'Time' ss.ii"},
    {2005, 12, 31, 23, 59, 7, 0, "mm''ss"},
    {2005, 12, 31, 23, 59, 7, 0, "'it''s' HH"},
    {2005, 12, 31, 23, 59, 7, 0, "''''"},
    {2005, 12, 31, 23, 59, 7, 0, "'open HH"},
    {2005, 3, 11, 9, 5, 3, 45, "dddd"},
    {2005, 3, 11, 9, 5, 3, 45, "ddd"},
    {2005, 3, 11, 9, 5, 3, 45, "MMMM"},
    {2005, 3, 11, 9, 5, 3, 45, "MMM"},
    {2005, 3, 11, 9, 5, 3, 45, "d MMMM yyyy"},
    {2005, 3, 11, 9, 5, 3, 45, "d MMM yyyy"},
    {2005, 3, 11, 9, 5, 3, 45, "dddd, d MMMM yyyy HH:mm:ss.ii"},
    {2005, 12, 31, 23, 59, 7, 0, "ddd dd MMM"},
    {2005, 12, 31, 23, 59, 7, 0, "d M y yy yyyy yyyyy"},
    {2005, 12, 31, 23, 59, 7, 0, "g gg"},
    {2005, 12, 31, 23, 59, 7, 0, "h hh H HH m mm s ss"},
    {2005, 12, 31, 23, 59, 7, 0, "h:mm tt"},
    {2005, 12, 31, 11, 5, 7, 0, "h:mm t"},
    {2005, 1, 1, 0, 0, 0, 0, "hh:mm tt"},
    {2005, 1, 1, 12, 0, 0, 0, "hh:mm tt"},
    {2004, 2, 29, 1, 2, 3, 4, "dd.MM.yy HH:mm:ss.ii"},
    {1601, 1, 1, 0, 0, 0, 0, "dd.MM.yyyy HH:mm:ss.ii"},
    {2099, 12, 31, 23, 59, 59, 999, "yyyyMMdd-HHmmssii"},
    {2005, 12, 31, 23, 59, 7, 0, "I Ii iI"},
    {2005, 12, 31, 23, 59, 7, 0, "-/,;: "},
    {2005, 12, 31, 23, 59, 7, 0, ""},
    {2005, 12, 31, 23, 59, 7, 0, "dddddd MMMMMM"},
    {2005, 12, 31, 23, 59, 7, 0, "hhh HHH mmm sss ttt"},
    {2005, 6, 15, 14, 30, 0, 500, "MMMM d, yyyy h:mm:ss.i tt"},
    {2005, 5, 1, 8, 0, 0, 0, "d MMMM"},
    {2005, 5, 1, 8, 0, 0, 0, "MMMM d"},
};

void PrintFormatCase(const TFormatCase& c) {
  yx::TDateTime value;
  const uint32_t code = value.Set(int16_t(c.year), c.month, int8_t(c.day), int8_t(c.hour), int8_t(c.minute),
                                  int8_t(c.second), int16_t(c.millisecond));
  const yx::BStr text = value.Format(c.pattern, yx::kLocaleUserDefault);
  std::printf("F %04d-%02d-%02d %02d:%02d:%02d.%03d [%s] %lu [%s]\n", c.year, c.month, c.day, c.hour,
              c.minute, c.second, c.millisecond, Escape(c.pattern, std::strlen(c.pattern)).c_str(),
              static_cast<unsigned long>(code), Escape(text.CStr(), text.Length()).c_str());
}

}  // namespace

int main() {
  std::printf("language %04x\n", plat::UserLanguageId());
  for (const auto& c : kPictureCases) PrintPictureCase(c);
  // Every month and day name, alone and next to a day number.
  for (uint16_t month = 1; month <= 12; ++month) {
    PrintPictureCase({'D', {2005, month, 0, 7, 0, 0, 0, 0}, "MMMM|d MMMM|MMM|d MMM"});
    PrintPictureCase({'D', {2005, month, 0, 7, 0, 0, 0, 0}, "MMMM"});
    PrintPictureCase({'D', {2005, month, 0, 7, 0, 0, 0, 0}, "MMM"});
  }
  for (uint16_t day = 6; day <= 12; ++day) PrintPictureCase({'D', {2005, 3, 0, day, 0, 0, 0, 0}, "ddd dddd"});
  for (const auto& c : kSizeCases) PrintSizeCase(c);
  for (const uint32_t code : {0u, 2u, 5u, 87u, 1314u}) PrintMessageForm(code);
  for (const auto& c : kFormatCases) PrintFormatCase(c);
  yx::TDateTime empty;
  std::printf("F empty [%s]\n", empty.Format("dd.MM.yyyy", yx::kLocaleUserDefault).CStr());
  return 0;
}

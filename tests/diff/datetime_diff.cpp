// Differential table of the date and time services: each row of
// datetime_table.tsv (compiled in) is one call with its expected results in
// English and in Russian, which the Linux build and the Windows build under
// Wine must both give. A new row may hold "?" for a result: the run prints
// what it got.
//
// Pictures and results stay below 128 characters: Wine's GetDateFormatA and
// GetTimeFormatA convert through 128-character buffers.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "DateTime.h"
#include "plat/DatePicture.h"
#include "plat/Error.h"
#include "plat/Locale.h"
#include "plat/Messages.h"

namespace {

const char kTable[] =
#include "datetime_table.inc"
    ;

// Bytes outside printable ASCII, and the backslash, as \xNN.
std::string Escape(const std::string& text) {
  std::string out;
  char hex[8];
  for (const unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f || c == '\\') {
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out.push_back(char(c));
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out.push_back(char(std::strtoul(text.substr(i + 2, 2).c_str(), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// "YYYY-MM-DD HH:MM:SS.mmm", optionally "/W" with a day of the week.
plat::SystemTime Fields(const std::string& text) {
  unsigned f[8] = {};
  std::sscanf(text.c_str(), "%u-%u-%u %u:%u:%u.%u/%u", &f[0], &f[1], &f[3], &f[4], &f[5], &f[6], &f[7],
              &f[2]);
  return {uint16_t(f[0]), uint16_t(f[1]), uint16_t(f[2]), uint16_t(f[3]),
          uint16_t(f[4]), uint16_t(f[5]), uint16_t(f[6]), uint16_t(f[7])};
}

int Call(const std::string& pass, uint32_t locale, const plat::SystemTime* time, const char* picture,
         char* buf, int size) {
  return pass == "D" ? plat::FormatDate(locale, time, picture, buf, size)
                     : plat::FormatTime(locale, time, picture, buf, size);
}

// The result of the row's call, as the table's result columns hold it.
std::string Result(const std::vector<std::string>& row) {
  char text[512];
  const std::string& kind = row[0];
  if (kind == "P") {  // P pass locale fields picture
    const plat::SystemTime time = Fields(row[3]);
    const std::string picture = Unescape(row[4]);
    const char* p = row[4] == "(null)" ? nullptr : picture.c_str();
    const uint32_t locale = uint32_t(std::strtoul(row[2].c_str(), nullptr, 16));
    plat::SetLastError(0);
    const int query = Call(row[1], locale, &time, p, nullptr, 0);
    const uint32_t queryError = query == 0 ? plat::LastError() : 0;
    char buf[512];
    plat::SetLastError(0);
    const int n = Call(row[1], locale, &time, p, buf, sizeof buf);
    std::snprintf(text, sizeof text, "%d/%lu %d/%lu [%s]", query, (unsigned long)queryError, n,
                  (unsigned long)(n == 0 ? plat::LastError() : 0), n > 0 ? Escape(buf).c_str() : "");
  } else if (kind == "S") {  // S pass size picture; "null:N" passes no buffer
    const bool null = row[2].compare(0, 5, "null:") == 0;
    const int size = std::atoi(row[2].c_str() + (null ? 5 : 0));
    const plat::SystemTime time = Fields("2005-12-31 23:59:07.005");
    char buf[64];
    plat::SetLastError(0);
    const int n = Call(row[1], plat::kLocaleUserDefault, &time, row[3].c_str(), null ? nullptr : buf, size);
    std::snprintf(text, sizeof text, "%d/%lu", n, (unsigned long)(n == 0 ? plat::LastError() : 0));
  } else if (kind == "M") {  // M code: present, one paragraph, ending in CR LF
    char buf[512];
    const uint32_t n =
        plat::SystemMessage(uint32_t(std::atol(row[1].c_str())), plat::UserLanguageId(), buf, sizeof buf);
    const std::string message(buf, n);
    const bool ends = message.size() >= 2 && message.compare(message.size() - 2, 2, "\r\n") == 0;
    const bool single =
        message.substr(0, message.size() - (ends ? 2 : 0)).find_first_of("\r\n") == std::string::npos;
    std::snprintf(text, sizeof text, "%s %s %s", n > 0 ? "yes" : "no", single ? "yes" : "no",
                  ends ? "yes" : "no");
  } else if (kind == "V") {  // V date|time|set fields, on 2001-06-15 10:30: code [fields read back]
    yx::TDateTime value;
    value.Set(2001, 6, 15, 10, 30, 0, 0);
    const plat::SystemTime f = Fields(row[2]);
    const uint32_t code =
        row[1] == "date" ? value.SetDate(int16_t(f.wYear), f.wMonth, int8_t(f.wDay))
        : row[1] == "time"
            ? value.SetTime(int8_t(f.wHour), int8_t(f.wMinute), int8_t(f.wSecond), int16_t(f.wMilliseconds))
            : value.Set(int16_t(f.wYear), f.wMonth, int8_t(f.wDay), int8_t(f.wHour), int8_t(f.wMinute),
                        int8_t(f.wSecond), int16_t(f.wMilliseconds));
    plat::SystemTime r{};
    value.GetFields(&r);
    std::snprintf(text, sizeof text, "%lx [%04u-%02u-%02u %02u:%02u:%02u.%03u]", (unsigned long)code, r.wYear,
                  r.wMonth, r.wDay, r.wHour, r.wMinute, r.wSecond, r.wMilliseconds);
  } else {  // F fields pattern, or F empty pattern
    yx::TDateTime value;
    uint32_t code = 0;
    if (row[1] != "empty") {
      const plat::SystemTime f = Fields(row[1]);
      code = value.Set(int16_t(f.wYear), f.wMonth, int8_t(f.wDay), int8_t(f.wHour), int8_t(f.wMinute),
                       int8_t(f.wSecond), int16_t(f.wMilliseconds));
    }
    const yx::BStr formatted = value.Format(Unescape(row[2]).c_str(), yx::kLocaleUserDefault);
    std::snprintf(text, sizeof text, "%lu [%s]", (unsigned long)code, Escape(formatted.CStr()).c_str());
  }
  return text;
}

}  // namespace

int main() {
  std::stringstream input(kTable);
  // The expected results are the last two columns: English, then Russian
  // ("=" when it is the English one).
  const bool russian = plat::UserLanguageId() == plat::kLangRussian;
  int rows = 0, failures = 0;
  std::string line;
  while (std::getline(input, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> row;
    for (size_t from = 0;;) {
      const size_t tab = line.find('\t', from);
      row.push_back(line.substr(from, tab - from));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    const std::string result = Result(row);
    const std::string& ru = row[row.size() - 1];
    const std::string& expected = russian && ru != "=" ? ru : row[row.size() - 2];
    ++rows;
    if (result != expected) {
      ++failures;
      std::printf("row \"%s\": expected %s, got %s\n", Escape(line).c_str(), expected.c_str(),
                  result.c_str());
    }
  }
  std::printf("%d rows, %d differ (language %04x)\n", rows, failures, plat::UserLanguageId());
  return failures == 0 && rows > 0 ? 0 : 1;
}

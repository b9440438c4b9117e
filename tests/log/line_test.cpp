// The line layout of a record, and the flush period.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "LogParams.h"
#include "LogRecord.h"
#include "plat/Process.h"

namespace yx {
namespace {

std::string Hex(uint32_t id) {
  char text[24];
  std::snprintf(text, sizeof text, "%#06x", id);
  return text;
}

// Every combination of the optional parts: the category, the time stamp of
// the default pattern, the process id and the thread id; the message is
// written as it is.
TEST(LineTest, EveryCombinationOfTheOptionalParts) {
  const std::string pid = Hex(plat::CurrentProcessId());
  const std::string tid = Hex(plat::CurrentThreadId());
  TLogParams params;
  for (int parts = 0; parts < 16; ++parts) {
    const bool time = (parts & 1) != 0, withPid = (parts & 2) != 0, withTid = (parts & 4) != 0;
    const char* category = (parts & 8) != 0 ? "WP." : "";
    params.SetTimePattern(time ? kDefaultTimePattern : "");
    params.SetPidFlag(withPid);
    params.SetTidFlag(withTid);
    std::string expected = category;
    auto part = [&](const std::string& text) { expected += (expected.empty() ? "" : " ") + text; };
    if (time) part("31.12.2005 03:09:08.012");
    if (withPid) part("Pid=" + pid);
    if (withTid) part("Tid=" + tid);
    part("two\r\nlines 100%");
    TLogRecord record(category, "two\r\nlines 100%");
    record.Set(2005, 12, 31, 3, 9, 8, 12);
    BStr out;
    record.FormatLine(params, &out);
    EXPECT_EQ(out.CStr(), expected + "\r\n") << parts;
  }
}

TEST(LogParamsTest, FlushPeriod) {
  TLogParams params;
  EXPECT_EQ(params.FlushPeriodMs(), 60000u);
  params.SetFlushSeconds(-1);
  EXPECT_EQ(params.FlushPeriodMs(), 0xFFFFFFFFu * 1000u);  // unsigned arithmetic, no overflow trap
}

}  // namespace
}  // namespace yx

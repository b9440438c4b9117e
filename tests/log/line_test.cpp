// The line layout of a record, and the event filter.

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

class LineTest : public ::testing::Test {
 protected:
  std::string Line(const char* category, const char* message) {
    TLogRecord record(category, message);
    record.Set(2005, 12, 31, 23, 59, 58, 123);
    BStr out;
    record.FormatLine(params_, &out);
    return out.CStr();
  }

  TLogParams params_;
  const std::string pid_ = Hex(plat::CurrentProcessId());
  const std::string tid_ = Hex(plat::CurrentThreadId());
};

TEST_F(LineTest, DefaultLayout) {
  EXPECT_EQ(Line("AP.", "hello"), "AP. 31.12.2005 23:59:58.123 Pid=" + pid_ + " Tid=" + tid_ + " hello\r\n");
}

TEST_F(LineTest, EveryCombinationOfTheOptionalParts) {
  for (int pattern = 0; pattern < 2; ++pattern) {
    for (int pid = 0; pid < 2; ++pid) {
      for (int tid = 0; tid < 2; ++tid) {
        for (const char* category : {"", "WP."}) {
          params_.SetTimePattern(pattern != 0 ? "HH:mm" : "");
          params_.SetPidFlag(pid != 0);
          params_.SetTidFlag(tid != 0);
          std::string expected = category;
          auto part = [&](const std::string& text) {
            if (!expected.empty()) expected += " ";
            expected += text;
          };
          if (pattern != 0) part("23:59");
          if (pid != 0) part("Pid=" + pid_);
          if (tid != 0) part("Tid=" + tid_);
          part("m");
          EXPECT_EQ(Line(category, "m"), expected + "\r\n") << pattern << pid << tid << category;
        }
      }
    }
  }
}

TEST_F(LineTest, BareMessageHasNoLeadingSpace) {
  params_.SetTimePattern("");
  params_.SetPidFlag(false);
  params_.SetTidFlag(false);
  EXPECT_EQ(Line("", "just this"), "just this\r\n");
  EXPECT_EQ(Line("AP.", "x"), "AP. x\r\n");
  EXPECT_EQ(Line("AP.", "two\r\nlines 100%"), "AP. two\r\nlines 100%\r\n");  // written as it is
}

TEST_F(LineTest, IdsAreNotTruncated) {
  EXPECT_EQ(Hex(1234), "0x04d2");
  EXPECT_EQ(Hex(74565), "0x12345");
}

TEST(EventFilterTest, CategoryAndMessagePatterns) {
  TLogParams params;
  auto passes = [&](const char* category, const char* message) {
    return params.PassesEvents(BStr(category), BStr(message));
  };
  EXPECT_FALSE(passes("AP.", "x"));  // an empty list passes nothing
  params.AddEvent(new TLogEvent("ap", ""));
  EXPECT_TRUE(passes("AP.", "anything"));
  EXPECT_TRUE(passes("xApx", ""));
  EXPECT_FALSE(passes("WP.", "x"));
  params.AddEvent(new TLogEvent("WP", "Error"));
  EXPECT_TRUE(passes("WP.", "an Error here"));
  EXPECT_FALSE(passes("WP.", "an error here"));
  EXPECT_FALSE(params.AddEvent(new TLogEvent("WP", "other")));  // the same category pattern
  EXPECT_TRUE(params.AddEvent(new TLogEvent("wp", "")));        // differs in case: both stay
  EXPECT_EQ(params.Events().Count(), 3u);
  EXPECT_TRUE(passes("WP.", "an error here"));
  params.SetDefaults();
  EXPECT_EQ(params.Events().Count(), 0u);
  EXPECT_FALSE(passes("AP.", "x"));
}

TEST(EventFilterTest, PatternLanguageInEntries) {
  TLogParams params;
  params.AddEvent(new TLogEvent("AP\\.", ""));
  params.AddEvent(new TLogEvent("WP", "[0-9]"));
  EXPECT_TRUE(params.PassesEvents(BStr("AP."), BStr("")));
  EXPECT_FALSE(params.PassesEvents(BStr("APx"), BStr("")));
  EXPECT_TRUE(params.PassesEvents(BStr("WP."), BStr("code 5")));
  EXPECT_FALSE(params.PassesEvents(BStr("WP."), BStr("code five")));
}

TEST(LogParamsTest, DefaultsAndPeriods) {
  TLogParams params;
  EXPECT_STREQ(params.TimePattern().CStr(), "dd.MM.yyyy HH:mm:ss.ii");
  EXPECT_TRUE(params.PidFlag());
  EXPECT_TRUE(params.TidFlag());
  EXPECT_EQ(params.StartMode(), kStartAppend);
  EXPECT_EQ(params.FlushSeconds(), 60);
  EXPECT_EQ(params.FlushLines(), 100);
  EXPECT_EQ(params.FlushPeriodMs(), 60000u);
  params.SetFlushSeconds(-1);
  EXPECT_EQ(params.FlushPeriodMs(), 0xFFFFFFFFu * 1000u);  // unsigned arithmetic, no overflow trap
  params.SetLogPath("x.log");
  params.SetDefaults();
  EXPECT_STREQ(params.LogPath().CStr(), "x.log");  // not a setting of the file
}

TEST(LogQueueTest, FirstInFirstOut) {
  TLogQueue queue;
  for (const char* m : {"a", "b", "c"}) queue.Push(new TLogRecord("C.", m));
  EXPECT_EQ(queue.Count(), 3u);
  queue.DeleteAfter(queue.Oldest());  // removes "b"
  TLogRecord* first = queue.Pop();
  EXPECT_STREQ(first->Message().CStr(), "a");
  delete first;
  TLogRecord* second = queue.Pop();
  EXPECT_STREQ(second->Message().CStr(), "c");
  delete second;
  EXPECT_EQ(queue.Pop(), nullptr);
  queue.Push(new TLogRecord("C.", "d"));
  EXPECT_EQ(queue.Count(), 1u);
}

}  // namespace
}  // namespace yx

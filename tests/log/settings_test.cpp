// The settings file: syntax, the keys and their rejects, the line format.

#include "Settings.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/TempDir.h"

namespace yx {
namespace {

struct Applied {
  TLogParams params;
  int32_t period = 0;
  bool sectioned = false;
};

// Parses a text and applies it as a read does: the sectioned format, or
// the line format for a text without any section header.
std::unique_ptr<Applied> Apply(const std::string& text) {
  auto a = std::make_unique<Applied>();
  TSettingsFile file;
  file.Parse(text.data(), uint32_t(text.size()));
  a->sectioned = file.HasHeader();
  if (a->sectioned) {
    a->period = ApplySections(file, &a->params).rereadPeriod;
  } else {
    ApplyLines(text.data(), uint32_t(text.size()), &a->params);
  }
  return a;
}

std::string Events(const TLogParams& p) {
  std::string s;
  for (unsigned i = 0; i < p.Events().Count(); ++i) {
    s += std::string(p.Events().At(i)->categoryPattern.CStr()) + "=" +
         p.Events().At(i)->messagePattern.CStr() + ";";
  }
  return s;
}

TEST(SettingsFileTest, ExampleFile) {
  const auto a = Apply(
      "[Prms]\r\nTmFrmt=dd.MM.yyyy HH:mm:ss.ii\r\nPID=On\r\nTID=Off\r\nStrtMd=NEW\r\nFlshSec=10\r\n"
      "FlshLns=1\r\nPrmsRd=30\r\n[Evts]\r\nAP=\r\nWP=\r\n");
  EXPECT_STREQ(a->params.TimePattern().CStr(), "dd.MM.yyyy HH:mm:ss.ii");
  EXPECT_TRUE(a->params.PidFlag());
  EXPECT_FALSE(a->params.TidFlag());
  EXPECT_EQ(a->params.StartMode(), kStartNew);
  EXPECT_EQ(a->params.FlushSeconds(), 10);
  EXPECT_EQ(a->params.FlushLines(), 1);
  EXPECT_EQ(a->period, 30);
  EXPECT_EQ(Events(a->params), "AP=;WP=;");
}

TEST(SettingsFileTest, SectionsAndKeysIgnoreCaseAndRepeat) {
  const auto a = Apply("[ prms ]\nflshsec=5\n[EVTS]\nap=\n[PRMS]\nfLsHlNs=7\n");
  EXPECT_EQ(a->params.FlushSeconds(), 5);
  EXPECT_EQ(a->params.FlushLines(), 7);
  EXPECT_EQ(Events(a->params), "ap=;");
  TSettingsFile file;
  const std::string text = "[a]\n[A]\n[ a\t]\nk=v\n";
  file.Parse(text.data(), uint32_t(text.size()));
  EXPECT_EQ(file.SectionCount(), 1u);
  ASSERT_NE(file.FindSection("A"), nullptr);
  EXPECT_STREQ(file.FindSection("a")->FindItem("K")->Value().CStr(), "v");
  EXPECT_EQ(file.FindSection("b"), nullptr);
}

TEST(SettingsFileTest, NothingIsTrimmedAroundTheEqualsSign) {
  const auto a = Apply("[Prms]\nPID = Off\nTmFrmt=HH'='mm\nFlshSec= 5\n");
  EXPECT_TRUE(a->params.PidFlag());  // the key is "PID " and nobody asks for it
  EXPECT_STREQ(a->params.TimePattern().CStr(), "HH'='mm");
  EXPECT_EQ(a->params.FlushSeconds(), 5);  // atol skips the leading blank
}

TEST(SettingsFileTest, HeaderNeedsItsBracketAsLastCharacter) {
  // "[Prms] " is an item of the section before it; keys after it stay there.
  const auto a = Apply("[Evts]\nAP=\n[Prms] \nFlshLns=3\n");
  EXPECT_EQ(a->params.FlushLines(), 100);
  EXPECT_EQ(Events(a->params), "[Prms] =;AP=;FlshLns=3;");
}

TEST(SettingsFileTest, KeysBeforeTheFirstHeaderHaveNoEffect) {
  const auto a = Apply("PID=Off\n[Evts]\nAP=\n");
  EXPECT_TRUE(a->params.PidFlag());
}

TEST(SettingsFileTest, LineEndsAndZeroByte) {
  for (const char* eol : {"\r\n", "\n", "\r", "\n\n\r\r\n"}) {
    const std::string text = std::string("[Prms]") + eol + "FlshLns=9" + eol + "[Evts]" + eol + "AP=" + eol;
    const auto a = Apply(text);
    EXPECT_EQ(a->params.FlushLines(), 9) << eol;
    EXPECT_EQ(Events(a->params), "AP=;");
  }
  const std::string withZero("[Evts]\nAP=\n\0WP=\n", 16);
  EXPECT_EQ(Events(Apply(withZero)->params), "AP=;");
}

TEST(SettingsFileTest, ValuesMayHoldEqualsSigns) {
  const auto a = Apply("[Evts]\nWP=a=b\nAP\n");
  EXPECT_EQ(Events(a->params), "AP=;WP=a=b;");
}

TEST(SettingsKeysTest, FlagsAndStartModes) {
  EXPECT_TRUE(Apply("[Prms]\nPID=on\n")->params.PidFlag());
  EXPECT_FALSE(Apply("[Prms]\nPID=1\n")->params.PidFlag());
  EXPECT_FALSE(Apply("[Prms]\nTID=\n")->params.TidFlag());
  EXPECT_EQ(Apply("[Prms]\nStrtMd=new\n")->params.StartMode(), kStartNew);
  EXPECT_EQ(Apply("[Prms]\nStrtMd=Ovrwrt\n")->params.StartMode(), kStartOverwrite);
  EXPECT_EQ(Apply("[Prms]\nStrtMd=CREATE\n")->params.StartMode(), kStartAppend);
  EXPECT_STREQ(Apply("[Prms]\nTmFrmt=\n")->params.TimePattern().CStr(), "");
}

TEST(SettingsKeysTest, NumbersAreReadWith32BitAtol) {
  EXPECT_EQ(Apply("[Prms]\nFlshSec=abc\n")->params.FlushSeconds(), 0);
  EXPECT_EQ(Apply("[Prms]\nFlshLns=-5\n")->params.FlushLines(), -5);
  EXPECT_EQ(Apply("[Prms]\nFlshLns=12x\n")->params.FlushLines(), 12);
  EXPECT_EQ(Apply("[Prms]\nPrmsRd=0\n")->period, 0);
  EXPECT_EQ(Apply("[Prms]\nPrmsRd=abc\n")->period, 0);
  EXPECT_EQ(Atol32("99999999999"), 2147483647);
  EXPECT_EQ(Atol32("-99999999999"), -2147483647 - 1);
  EXPECT_EQ(Atol32(" \t+42"), 42);
  EXPECT_EQ(Atol32("4294967296"), 2147483647);
  EXPECT_EQ(Atol32(""), 0);
}

TEST(SettingsKeysTest, EventItemsEnterOncePerExactCategory) {
  // Equal keys stay in the section (the last one first); the list takes one
  // entry per exact category pattern, lower case sorting first.
  EXPECT_EQ(Events(Apply("[Evts]\nAP=\nap=\nAP=x\n")->params), "ap=;AP=x;");
  EXPECT_EQ(Apply("[Prms]\nFlshLns=1\n")->params.Events().Count(), 0u);
  EXPECT_EQ(Apply("[Evts]\n")->params.Events().Count(), 0u);
}

TEST(SettingsLineFormatTest, PlusAndImm) {
  const auto a = Apply("+AP.\n + W P \n!imm\n#comment\n+ABCDEF\n");
  EXPECT_FALSE(a->sectioned);
  EXPECT_EQ(a->params.FlushLines(), 1);
  EXPECT_EQ(Events(a->params), "ABC=;AP.=;WP=;");
  EXPECT_EQ(Apply("!IMMEDIATE\n")->params.FlushLines(), 1);
  EXPECT_EQ(Apply("!IM\n")->params.FlushLines(), 100);
}

TEST(SettingsFileTest, LoadReadsRealFiles) {
  test::ScopedTempDir dir;
  TSettingsFile file;
  EXPECT_EQ(file.Load(dir.File("missing.wli").c_str()), 2u);
  test::WriteFile(dir.File("s.wli"), "[Evts]\r\nAP=\r\n");
  EXPECT_EQ(file.Load(dir.File("s.wli").c_str()), 0u);
  ASSERT_NE(file.FindSection("evts"), nullptr);
  EXPECT_EQ(file.FindSection("evts")->ItemCount(), 1u);
  test::WriteFile(dir.File("empty.wli"), "");
  EXPECT_EQ(file.Load(dir.File("empty.wli").c_str()), 0u);
  EXPECT_EQ(file.SectionCount(), 0u);
  try {
    TSettingsSection s("x");
    s.Item(0);
    FAIL();
  } catch (const EOutOfRange& e) {
    EXPECT_STREQ(e.What(), "[EOutOfRange(idx=0,cnt=0)] 'yxgen' line 1099 ");
  }
}

}  // namespace
}  // namespace yx

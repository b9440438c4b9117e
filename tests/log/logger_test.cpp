// The logger with real files, its writer thread and several logging threads.

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "Log.h"
#include "plat/File.h"
#include "support/TempDir.h"

namespace yx {
namespace {

using namespace std::chrono_literals;

// A logger of its own whose program path lies in a temporary directory.
class LoggerTest : public ::testing::Test {
 protected:
  LoggerTest() { log_.SetFileNames(dir_.File("prog.exe").c_str()); }

  void Settings(const std::string& text) { test::WriteFile(dir_.File("prog.wli"), kBare + text); }
  std::string LogText() const { return test::ReadFile(dir_.File("prog.log")); }
  // Polls, up to a generous limit, until `done` holds.
  template <class Done>
  static bool Eventually(Done done) {
    for (auto deadline = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < deadline;) {
      if (done()) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  // Lines without time stamp and ids; the tests add what they need.
  const std::string kBare = "[Prms]\nTmFrmt=\nPID=Off\nTID=Off\n";
  test::ScopedTempDir dir_;
  TLog log_{1};
};

// Without a settings file nothing is written; with one, the records that
// pass the filter, in order, long messages whole.
TEST_F(LoggerTest, RecordsPassTheFilterInOrderAndLongMessagesWhole) {
  ASSERT_EQ(log_.Open(), 0u);
  log_.Log("AP.", "start %d", 1);
  EXPECT_EQ(log_.Close(), 0u);
  EXPECT_EQ(log_.Close(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("prog.log")));
  EXPECT_EQ(log_.QueuedRecords(), 0u);
  Settings("[Evts]\nAP=\n");
  ASSERT_EQ(log_.Open(), 0u);
  EXPECT_EQ(log_.Open(), 0u);  // a second Open changes nothing
  const std::string big(100000, 'q');
  log_.Log("AP.", "first %s", "x");
  log_.Log("WP.", "filtered");
  log_.Log("ap.", "second %i%% %s|%s", 50, big.c_str(), "zz");
  log_.Close();
  EXPECT_EQ(LogText(), "AP. first x\r\nap. second 50% " + big + "|zz\r\n");
}

// Two runs of the program in each start mode, each with two batches.
TEST_F(LoggerTest, StartModes) {
  // clang-format off
  const struct { const char* mode; const char* log; } cases[] = {
      {"APPEND", "AP. one\r\nAP. one\r\nAP. two\r\nAP. two\r\n"},
      {"OVRWRT", "AP. two\r\nAP. two\r\n"},
      {"NEW", ""},
  };
  // clang-format on
  auto now = [] {
    return std::string(TDateTime::Now().Format("yyyyMMdd-HHmmssii", kLocaleUserDefault).CStr());
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    std::filesystem::remove(dir_.File("prog.log"));
    Settings(std::string("StrtMd=") + c.mode + "\n[Evts]\nAP=\n");
    for (const char* run : {"one", "two"}) {
      const std::string before = now();
      ASSERT_EQ(log_.Open(), 0u);
      const std::string after = now();
      const std::string name = log_.CurrentFileName().CStr();
      for (int batch = 0; batch < 2; ++batch) {
        log_.Log("AP.", run);
        EXPECT_EQ(log_.Flush(), 0u);
      }
      log_.Close();
      if (c.log[0] == 0) {  // a new file named after the open time
        EXPECT_TRUE(std::regex_match(name, std::regex(".*prog\\d{8}-\\d{9}\\.log"))) << name;
        const std::string opened = name.substr(name.size() - 22, 18);
        EXPECT_TRUE(before <= opened && opened <= after) << opened;
        EXPECT_EQ(test::ReadFile(name), "AP. " + std::string(run) + "\r\nAP. " + run + "\r\n");
        std::filesystem::remove(name);
      }
      EXPECT_STREQ(log_.CurrentFileName().CStr(), "");
    }
    EXPECT_EQ(LogText(), c.log);
  }
}

TEST(FileLogTest, OpenRefusesStartModeThreeAndAnEmptyPath) {
  TFileLog log;
  log.Params().SetLogPath("");
  EXPECT_EQ(log.Open(), 87u);
  log.Params().SetLogPath("x.log");
  log.Params().SetStartMode(3);
  EXPECT_EQ(log.Open(), 87u);
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.Close(), 1u);
}

// The logging thread writes at once when more records wait than the flush
// lines allow, and not before.
TEST_F(LoggerTest, FlushByCount) {
  for (int lines : {0, 100}) {
    SCOPED_TRACE(lines);
    std::filesystem::remove(dir_.File("prog.log"));
    Settings("FlshLns=" + std::to_string(lines) + "\n[Evts]\nAP=\n");
    log_.Open();
    std::string expected;
    for (int i = 0; i <= lines; ++i) {
      EXPECT_EQ(LogText(), "");
      log_.Log("AP.", "%d", i);
      expected += "AP. " + std::to_string(i) + "\r\n";
    }
    EXPECT_EQ(LogText(), expected);
    log_.Close();
  }
}

TEST_F(LoggerTest, FlushByTimeFromTheWriterThread) {
  Settings("FlshSec=1\nFlshLns=1000\n[Evts]\nAP=\n");
  log_.Open();
  log_.Log("AP.", "late");
  EXPECT_TRUE(Eventually([&] { return LogText() == "AP. late\r\n"; }));
  log_.Close();
}

TEST_F(LoggerTest, SettingsAreReadAgainWhileRunning) {
  Settings("PrmsRd=1\nFlshLns=0\n[Evts]\nAP=\n");
  log_.Open();
  log_.Log("WP.", "dropped");
  Settings("PrmsRd=1\nFlshLns=0\n[Evts]\nAP=\nWP=\n");
  // The next settings tick lets WP. records through.
  EXPECT_TRUE(Eventually([&] {
    log_.Log("WP.", "probe");
    return LogText().find("WP. probe") != std::string::npos;
  }));
  EXPECT_EQ(log_.RereadPeriod(), 1);
  // Without the file the event list empties at the next tick.
  std::filesystem::remove(dir_.File("prog.wli"));
  EXPECT_TRUE(Eventually([&] {
    TLogLock lock(&log_);
    return log_.Params().Events().Count() == 0;
  }));
  log_.Close();
  EXPECT_EQ(LogText().find("dropped"), std::string::npos);
}

// A batch that fails on the real file system (a missing directory, a file
// another handle holds) keeps its records for the next one.
TEST_F(LoggerTest, AFailedBatchLosesNothing) {
  Settings("FlshLns=0\n[Evts]\nAP=\n");
  log_.Params().SetLogPath(dir_.File("sub/prog.log").c_str());
  ASSERT_EQ(log_.Open(), 0u);
  log_.Log("AP.", "r0");
  log_.Log("AP.", "r1");
  EXPECT_EQ(log_.QueuedRecords(), 2u);
  {
    TLogLock lock(&log_);
    EXPECT_EQ(log_.WriteQueue(), 3u);  // the path is missing
  }
  std::filesystem::create_directories(dir_.File("sub"));
  plat::FileHandle holder = nullptr;
  ASSERT_EQ(
      plat::OpenFile(dir_.File("sub/prog.log").c_str(), plat::kGenericWrite, 0, plat::kOpenAlways, &holder),
      0u);
  {
    TLogLock lock(&log_);
    EXPECT_EQ(log_.WriteQueue(), 32u);
  }
  plat::CloseFile(holder);
  log_.Log("AP.", "r2");
  log_.Close();
  EXPECT_EQ(log_.QueuedRecords(), 0u);
  EXPECT_EQ(test::ReadFile(dir_.File("sub/prog.log")), "AP. r0\r\nAP. r1\r\nAP. r2\r\n");
}

TEST(LogInstanceTest, OneLoggerPerProcess) {
  TLog& a = TLog::Instance();
  EXPECT_EQ(&a, &TLog::Instance());
  EXPECT_STREQ(a.LockName().CStr(), ("YX_Log_" + std::to_string(reinterpret_cast<uintptr_t>(&a))).c_str());
}

TEST(ProgramPathTest, ArgumentZeroAndTheFileNames) {
  // clang-format off
  const struct { const char* commandLine; const char* program; const char* settings; const char* log; } cases[] = {
      {"C:\\Tools\\yxtk.exe -sd", "C:\\Tools\\yxtk.exe", "C:\\Tools\\yxtk.wli", "C:\\Tools\\yxtk.log"},
      {"\"C:\\My Tools\\yxtk.exe\" -sd", "C:\\My Tools\\yxtk.exe", "C:\\My Tools\\yxtk.wli", "C:\\My Tools\\yxtk.log"},
      {"./bin.d/yxtk", "./bin.d/yxtk", "./bin.d/yxtk.wli", "./bin.d/yxtk.log"},
      {"a.b.c", "a.b.c", "a.b.wli", "a.b.log"},
      {"", "", ".wli", ".log"},
  };
  // clang-format on
  for (const auto& c : cases) {
    const BStr program = ProgramPath(c.commandLine);
    EXPECT_STREQ(program.CStr(), c.program);
    TSettingsLog log;
    log.SetFileNames(program.CStr());
    EXPECT_STREQ(log.SettingsFileName().CStr(), c.settings);
    EXPECT_STREQ(log.Params().LogPath().CStr(), c.log);
  }
}

}  // namespace
}  // namespace yx

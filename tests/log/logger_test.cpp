// The logger with real files, its writer thread and several logging threads.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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

  void Settings(const std::string& text) { test::WriteFile(dir_.File("prog.wli"), text); }
  std::string LogText() const { return test::ReadFile(dir_.File("prog.log")); }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2) {
      lines.push_back(text.substr(from, at - from));
    }
    EXPECT_EQ(from, text.size()) << "a line without its line end";
    return lines;
  }
  // Waits, up to a generous limit, until the log file holds `count` lines.
  bool WaitForLines(size_t count) {
    for (auto deadline = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < deadline;) {
      if (Lines(LogText()).size() >= count) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  test::ScopedTempDir dir_;
  TLog log_{1};
};

constexpr char kBare[] = "[Prms]\nTmFrmt=\nPID=Off\nTID=Off\n";

TEST_F(LoggerTest, WithoutSettingsNothingIsWritten) {
  ASSERT_EQ(log_.Open(), 0u);
  log_.Log("AP.", "start %d", 1);
  EXPECT_EQ(log_.Close(), 0u);
  EXPECT_EQ(log_.Close(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("prog.log")));
  EXPECT_EQ(log_.QueuedRecords(), 0u);
}

TEST_F(LoggerTest, DefaultLinesAndOrder) {
  Settings("[Evts]\nAP=\n");
  ASSERT_EQ(log_.Open(), 0u);
  EXPECT_EQ(log_.Open(), 0u);  // a second Open changes nothing
  log_.Log("AP.", "first %s", "x");
  log_.Log("WP.", "filtered");
  log_.Log("ap.", "second %i%%", 50);
  log_.Close();
  const auto lines = Lines(LogText());
  ASSERT_EQ(lines.size(), 2u);
  const std::regex layout(
      R"(AP\. \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} Pid=0x[0-9a-f]{4,} Tid=0x[0-9a-f]{4,} first x)");
  EXPECT_TRUE(std::regex_match(lines[0], layout)) << lines[0];
  EXPECT_EQ(lines[1].substr(0, 3), "ap.");
  EXPECT_EQ(lines[1].substr(lines[1].size() - 10), "second 50%");
}

TEST_F(LoggerTest, LongMessagesAreWhole) {
  Settings(std::string(kBare) + "[Evts]\nAP=\n");
  log_.Open();
  const std::string big(100000, 'q');
  log_.Log("AP.", "%s|%s", big.c_str(), std::string(32, 'z').c_str());
  log_.Close();
  EXPECT_EQ(LogText(), "AP. " + big + "|" + std::string(32, 'z') + "\r\n");
}

TEST_F(LoggerTest, AppendKeepsEarlierRuns) {
  Settings(std::string(kBare) + "[Evts]\nAP=\n");
  for (const char* run : {"one", "two"}) {
    log_.Open();
    log_.Log("AP.", run);
    log_.Close();
  }
  EXPECT_EQ(LogText(), "AP. one\r\nAP. two\r\n");
}

TEST_F(LoggerTest, OverwriteStartsAnew) {
  Settings(std::string(kBare) + "StrtMd=OVRWRT\n[Evts]\nAP=\n");
  for (const char* run : {"one", "two"}) {
    ASSERT_EQ(log_.Open(), 0u);
    log_.Log("AP.", run);
    log_.Close();
  }
  EXPECT_EQ(LogText(), "AP. two\r\n");
}

TEST_F(LoggerTest, NewModeNamesTheFileAfterTheOpenTime) {
  Settings(std::string(kBare) + "StrtMd=NEW\n[Evts]\nAP=\n");
  ASSERT_EQ(log_.Open(), 0u);
  const std::string name = log_.CurrentFileName().CStr();
  log_.Log("AP.", "x");
  log_.Close();
  EXPECT_TRUE(std::regex_match(name, std::regex(".*prog\\d{8}-\\d{9}\\.log"))) << name;
  EXPECT_EQ(test::ReadFile(name), "AP. x\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("prog.log")));
  EXPECT_STREQ(log_.CurrentFileName().CStr(), "");
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

TEST_F(LoggerTest, FlushByCount) {
  Settings(std::string(kBare) + "FlshLns=100\n[Evts]\nAP=\n");
  log_.Open();
  for (int i = 0; i < 100; ++i) log_.Log("AP.", "%d", i);
  EXPECT_EQ(LogText(), "");  // 100 queued: not more than the flush lines
  log_.Log("AP.", "100");
  EXPECT_EQ(Lines(LogText()).size(), 101u);  // written by this thread, at once
  log_.Close();
}

TEST_F(LoggerTest, FlushLinesZeroWritesEveryRecord) {
  Settings(std::string(kBare) + "FlshLns=0\n[Evts]\nAP=\n");
  log_.Open();
  log_.Log("AP.", "a");
  EXPECT_EQ(LogText(), "AP. a\r\n");
  log_.Log("AP.", "b");
  EXPECT_EQ(LogText(), "AP. a\r\nAP. b\r\n");
  log_.Close();
}

TEST_F(LoggerTest, FlushByTimeFromTheWriterThread) {
  Settings(std::string(kBare) + "FlshSec=1\nFlshLns=1000\n[Evts]\nAP=\n");
  log_.Open();
  log_.Log("AP.", "late");
  EXPECT_TRUE(WaitForLines(1));
  log_.Close();
  EXPECT_EQ(LogText(), "AP. late\r\n");
}

TEST_F(LoggerTest, SettingsAreReadAgainWhileRunning) {
  Settings(std::string(kBare) + "PrmsRd=1\nFlshLns=0\n[Evts]\nAP=\n");
  log_.Open();
  log_.Log("WP.", "dropped");
  log_.Log("AP.", "kept");
  Settings(std::string(kBare) + "PrmsRd=1\nFlshLns=0\n[Evts]\nAP=\nWP=\n");
  // The next settings tick lets WP. records through.
  bool passed = false;
  for (int i = 0; i < 200 && !passed; ++i) {
    log_.Log("WP.", "probe");
    passed = LogText().find("WP. probe") != std::string::npos;
    std::this_thread::sleep_for(25ms);
  }
  EXPECT_TRUE(passed);
  EXPECT_EQ(log_.RereadPeriod(), 1);
  // Without the file the event list empties at the next tick.
  std::filesystem::remove(dir_.File("prog.wli"));
  bool emptied = false;
  for (int i = 0; i < 200 && !emptied; ++i) {
    std::this_thread::sleep_for(25ms);
    TLogLock lock(&log_);
    emptied = log_.Params().Events().Count() == 0;
  }
  EXPECT_TRUE(emptied);
  log_.Close();
  EXPECT_EQ(LogText().find("dropped"), std::string::npos);
}

TEST_F(LoggerTest, AFailedBatchLosesNothing) {
  Settings(std::string(kBare) + "FlshLns=0\n[Evts]\nAP=\n");
  // The log file's directory does not exist yet: every batch fails.
  log_.Params().SetLogPath(dir_.File("sub/prog.log").c_str());
  ASSERT_EQ(log_.Open(), 0u);
  for (int i = 0; i < 5; ++i) log_.Log("AP.", "r%d", i);
  EXPECT_EQ(log_.QueuedRecords(), 5u);
  {
    TLogLock lock(&log_);
    EXPECT_EQ(log_.WriteQueue(), 3u);  // the path is missing
  }
  std::filesystem::create_directories(dir_.File("sub"));
  log_.Log("AP.", "r5");
  log_.Close();
  EXPECT_EQ(log_.QueuedRecords(), 0u);
  EXPECT_EQ(test::ReadFile(dir_.File("sub/prog.log")),
            "AP. r0\r\nAP. r1\r\nAP. r2\r\nAP. r3\r\nAP. r4\r\nAP. r5\r\n");
}

TEST_F(LoggerTest, ASharingViolationKeepsTheRecords) {
  Settings(std::string(kBare) + "FlshLns=0\n[Evts]\nAP=\n");
  log_.Open();
  log_.Log("AP.", "before");
  plat::FileHandle holder = nullptr;
  ASSERT_EQ(plat::OpenFile(dir_.File("prog.log").c_str(), plat::kGenericWrite, 0, plat::kOpenAlways, &holder),
            0u);
  log_.Log("AP.", "held 1");
  log_.Log("AP.", "held 2");
  EXPECT_EQ(log_.QueuedRecords(), 2u);
  {
    TLogLock lock(&log_);
    EXPECT_EQ(log_.WriteQueue(), 32u);
  }
  plat::CloseFile(holder);
  log_.Log("AP.", "after");
  log_.Close();
  EXPECT_EQ(LogText(), "AP. before\r\nAP. held 1\r\nAP. held 2\r\nAP. after\r\n");
}

TEST_F(LoggerTest, ASettingsFileHeldByAWriterKeepsTheSettings) {
  Settings(std::string(kBare) + "FlshLns=7\n[Evts]\nAP=\n");
  ASSERT_EQ(log_.Open(), 0u);
  plat::FileHandle holder = nullptr;
  ASSERT_EQ(
      plat::OpenFile(dir_.File("prog.wli").c_str(), plat::kGenericWrite, 0, plat::kOpenExisting, &holder),
      0u);
  {
    TLogLock lock(&log_);  // the writer thread reads the settings too
    EXPECT_EQ(log_.ReadSettings(), 32u);
    EXPECT_EQ(log_.Params().FlushLines(), 7);  // the settings in force stay
    EXPECT_EQ(log_.Params().Events().Count(), 1u);
  }
  plat::CloseFile(holder);
  std::filesystem::remove(dir_.File("prog.wli"));
  {
    TLogLock lock(&log_);
    EXPECT_EQ(log_.ReadSettings(), 2u);  // a missing file means the defaults
    EXPECT_EQ(log_.Params().FlushLines(), 100);
    EXPECT_EQ(log_.Params().Events().Count(), 0u);
  }
  log_.Close();
}

TEST_F(LoggerTest, TheLastFlushWaitsForAFileHeldForAMoment) {
  Settings(std::string(kBare) + "[Evts]\nAP=\n");
  ASSERT_EQ(log_.Open(), 0u);
  log_.Log("AP.", "queued");
  plat::FileHandle holder = nullptr;
  ASSERT_EQ(plat::OpenFile(dir_.File("prog.log").c_str(), plat::kGenericWrite, 0, plat::kOpenAlways, &holder),
            0u);
  std::thread release([holder] {
    std::this_thread::sleep_for(300ms);
    plat::CloseFile(holder);
  });
  EXPECT_EQ(log_.Close(), 0u);  // the writer's last batch is tried again until the file is free
  release.join();
  EXPECT_EQ(LogText(), "AP. queued\r\n");
}

TEST_F(LoggerTest, EightThreadsLoseNothing) {
  Settings("[Prms]\nFlshLns=100\nFlshSec=1\n[Evts]\nT=\n");
  ASSERT_EQ(log_.Open(), 0u);
  constexpr int kThreads = 8;
  constexpr int kRecords = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kRecords; ++i) log_.Log("T.", "t%d n%d end", t, i);
    });
  }
  for (auto& th : threads) th.join();
  log_.Close();
  std::map<int, int> next;
  std::map<std::string, int> tidOfThread;
  const std::regex line(R"(T\. \S+ \S+ Pid=0x[0-9a-f]+ Tid=(0x[0-9a-f]+) t(\d+) n(\d+) end)");
  size_t count = 0;
  for (const std::string& l : Lines(LogText())) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << l;
    const int t = std::stoi(m[2]);
    ASSERT_EQ(std::stoi(m[3]), next[t]++) << "thread " << t << " out of order";
    ++count;
  }
  EXPECT_EQ(count, size_t(kThreads) * kRecords);
}

TEST(LogInstanceTest, OneLoggerPerProcess) {
  TLog& a = TLog::Instance();
  TLog& b = TLog::Instance();
  EXPECT_EQ(&a, &b);
  EXPECT_STREQ(a.LockName().CStr(), ("YX_Log_" + std::to_string(reinterpret_cast<uintptr_t>(&a))).c_str());
}

TEST(ProgramPathTest, ArgumentZero) {
  EXPECT_STREQ(ProgramPath("C:\\Tools\\yxtk.exe -sd").CStr(), "C:\\Tools\\yxtk.exe");
  EXPECT_STREQ(ProgramPath("\"C:\\My Tools\\yxtk.exe\" -sd").CStr(), "C:\\My Tools\\yxtk.exe");
  EXPECT_STREQ(ProgramPath("yxtk").CStr(), "yxtk");
  EXPECT_STREQ(ProgramPath("").CStr(), "");
  EXPECT_STREQ(PathWithoutExtension("C:\\Tools\\yxtk.exe").CStr(), "C:\\Tools\\yxtk");
  EXPECT_STREQ(PathWithoutExtension("./bin.d/yxtk").CStr(), "./bin.d/yxtk");
  EXPECT_STREQ(PathWithoutExtension("a.b.c").CStr(), "a.b");
  TSettingsLog log;
  log.SetFileNames("C:\\Tools\\yxtk.exe");
  EXPECT_STREQ(log.SettingsFileName().CStr(), "C:\\Tools\\yxtk.wli");
  EXPECT_STREQ(log.Params().LogPath().CStr(), "C:\\Tools\\yxtk.log");
}

}  // namespace
}  // namespace yx

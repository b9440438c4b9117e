// The logger: the line layout, real files, the writer thread, threads that
// log across Close; and batches through a seam in front of the real file
// that makes the same faults on every platform: a full device, a write that
// stops part-way or raises, a failed flush to disk, a failing open.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "LogParams.h"
#include "LogRecord.h"
#include "plat/Error.h"
#include "plat/File.h"
#include "plat/Mutex.h"
#include "plat/Process.h"
#include "support/TempDir.h"

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
    std::unique_ptr<TLogRecord> record(TLogRecord::Make(category, "two\r\nlines 100%"));
    record->Set(2005, 12, 31, 3, 9, 8, 12);
    BStr out;
    record->FormatLine(params, &out);
    EXPECT_EQ(out.CStr(), expected + "\r\n") << parts;
  }
}

TEST(LogParamsTest, FlushPeriod) {
  TLogParams params;
  EXPECT_EQ(params.FlushPeriodMs(), 60000u);
  params.SetFlushSeconds(-1);
  EXPECT_EQ(params.FlushPeriodMs(), 0xFFFFFFFFu * 1000u);  // unsigned arithmetic, no overflow trap
}

using namespace std::chrono_literals;

// A logger of its own whose program path lies in a temporary directory.
class LoggerTest : public ::testing::Test {
 protected:
  LoggerTest() { log_.SetFileNames(dir_.File("prog.exe").c_str()); }

  void Settings(const std::string& text) { test::WriteFile(dir_.File("prog.wli"), kBare + text); }
  std::string LogText() const { return test::ReadFile(dir_.File("prog.log")); }
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

TEST_F(LoggerTest, FlushByTimeFromTheWriterThread) {
  Settings("FlshSec=1\nFlshLns=1000\n[Evts]\nAP=\n");
  log_.Open();
  log_.Log("AP.", "late");
  // Within a second or so; polled up to a generous limit.
  for (const auto limit = std::chrono::steady_clock::now() + 20s;
       LogText().empty() && std::chrono::steady_clock::now() < limit;) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(LogText(), "AP. late\r\n");
  log_.Close();
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

constexpr uint64_t kUnlimited = UINT64_MAX;

// The log file on a device with faults, which notes every operation. A write
// that does not fit the free space writes what fits and fails with 112, as a
// full disk does; cutting the file gives its space back. Changed by the test
// under the logger lock, as the batches use it under it.
class TFaultyDevice : public TLogFileOps {
 public:
  uint64_t freeBytes = kUnlimited;
  uint32_t openFailure = 0;    // the code of a failing open
  int failingOpens = 0;        // how many opens fail with it
  int throwOnWrite = 0;        // 1: EBadAlloc, 2: std::runtime_error, once
  uint32_t releaseResult = 0;  // what ReleaseShare answers (0: lifted)
  uint32_t flushFailure = 0;
  std::vector<std::string> calls;  // "open", "write SIZE", ...
  std::string lockName;            // when set, the flush notes whether the lock is free

  long Count(const char* call) const { return long(std::count(calls.begin(), calls.end(), call)); }

  uint32_t Open(const char* name, plat::FileHandle* file) override {
    calls.push_back("open");
    if (failingOpens > 0) {
      --failingOpens;
      *file = nullptr;
      return openFailure;
    }
    return TLogFileOps::Open(name, file);
  }
  uint32_t Write(plat::FileHandle file, const void* bytes, uint32_t size) override {
    calls.push_back("write " + std::to_string(size));
    if (throwOnWrite != 0) {
      const int kind = throwOnWrite;
      throwOnWrite = 0;
      if (kind == 1) throw EBadAlloc("test", 1, size);
      throw std::runtime_error("device");
    }
    const uint32_t fits = uint32_t(std::min<uint64_t>(size, freeBytes));
    if (fits != 0) {
      if (const uint32_t code = TLogFileOps::Write(file, bytes, fits)) return code;
    }
    if (freeBytes != kUnlimited) freeBytes -= fits;
    return fits == size ? 0u : uint32_t(plat::kErrorDiskFull);
  }
  uint32_t CutAt(plat::FileHandle file, uint64_t size) override {
    calls.push_back("cut");
    uint64_t before = 0;
    plat::FileSize(file, &before);
    const uint32_t code = TLogFileOps::CutAt(file, size);
    if (code == 0 && freeBytes != kUnlimited && before > size) freeBytes += before - size;
    return code;
  }
  uint32_t ReleaseShare(plat::FileHandle) override {
    calls.push_back("release");
    return releaseResult;
  }
  uint32_t Flush(plat::FileHandle file) override {
    calls.push_back(lockName.empty() ? "flush" : IsLockFree() ? "flush, lock free" : "flush under the lock");
    return flushFailure != 0 ? flushFailure : TLogFileOps::Flush(file);
  }
  uint32_t Close(plat::FileHandle file) override {
    calls.push_back("close");
    return TLogFileOps::Close(file);
  }

 private:
  // The named mutex is recursive for its owner, so the question is asked
  // from another thread. It waits a little: the writer thread may hold the
  // lock for a moment (it reads the settings as it starts), while a batch
  // that flushes under the lock holds it until the answer comes.
  bool IsLockFree() const {
    bool free = false;
    std::thread([&] {
      plat::MutexHandle mutex = nullptr;
      if (plat::OpenNamedMutex(lockName.c_str(), &mutex) != 0) return;
      if (plat::WaitMutex(mutex, 100) == 0) {
        free = true;
        plat::ReleaseMutexHandle(mutex);
      }
      plat::CloseMutexHandle(mutex);
    }).join();
    return free;
  }
};

// The logger through the faulty device, logging AP. records at once.
class FaultTest : public LoggerTest {
 protected:
  FaultTest() {
    Settings("FlshLns=0\n[Evts]\nAP=\n");
    log_.SetFileOps(&device_);
  }
  ~FaultTest() override {
    log_.Close();
    log_.SetFileOps(nullptr);
  }

  // Changes the device the way the batches see it: under the logger lock.
  template <class Change>
  void Device(Change change) {
    TLogLock lock(&log_);
    change(device_);
  }

  TFaultyDevice device_;
};

// Records of varied length logged while the free space changes at random,
// writes raise and flushes to disk fail, and batches run by Log and by
// Flush: after every step the file is closed (other programs may write it)
// and holds whole lines only, in order, each once; once the faults are gone
// every record is there.
TEST_F(FaultTest, FaultsLeaveWholeLinesEachOnceAndTheFileClosed) {
  for (unsigned seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::filesystem::remove(dir_.File("prog.log"));
    std::mt19937 random(seed);
    ASSERT_EQ(log_.Open(), 0u);
    std::string expected;  // every line logged so far, in order
    for (int step = 0; step < 50; ++step) {
      switch (random() % 4) {
        case 0: {
          const uint64_t space = random() % 2 == 0 ? random() % 400 : kUnlimited;
          Device([&](TFaultyDevice& d) { d.freeBytes = space; });
          break;
        }
        case 1: {
          const unsigned fault = random() % 4;  // EBadAlloc, another exception, a failed flush, none
          Device([&](TFaultyDevice& d) {
            d.throwOnWrite = fault < 2 ? int(fault) + 1 : 0;
            d.flushFailure = fault == 2 ? uint32_t(plat::kErrorDiskFull) : 0u;
          });
          break;
        }
        case 2: log_.Flush(); break;
        default:
          for (unsigned n = random() % 20; n != 0; --n) {
            const std::string text = std::to_string(expected.size()) + std::string(random() % 90, 'x');
            log_.Log("AP.", "%s", text.c_str());
            expected += "AP. " + text + "\r\n";
          }
      }
      const std::string now = LogText();
      ASSERT_EQ(expected.compare(0, now.size(), now), 0) << "not a prefix of the lines logged";
      ASSERT_TRUE(now.empty() || now.substr(now.size() - 2) == "\r\n") << "a torn line";
      ASSERT_EQ(device_.Count("open"), device_.Count("close")) << "the file was left open";
    }
    Device([](TFaultyDevice& d) { d = TFaultyDevice{}; });
    ASSERT_EQ(log_.Close(), 0u);
    EXPECT_EQ(LogText(), expected);
    EXPECT_EQ(device_.Count("open"), device_.Count("close"));
  }
}

// A failed batch keeps its records and Flush reports the failure. The last
// batch of Close is tried again only while another program holds the file
// (sharing or lock violation); any other failure ends it at once.
TEST_F(FaultTest, TheLastBatchRetriesOnlySharingAndLockViolations) {
  struct Case {
    uint32_t code;
    long expectedOpens;
    bool written;
  };
  // clang-format off
  const Case cases[] = {
      {plat::kErrorSharingViolation, 5, true},
      {plat::kErrorLockViolation,    5, true},
      {plat::kErrorAccessDenied,     2, false},
      {plat::kErrorPathNotFound,     2, false},
      {plat::kErrorFileNotFound,     2, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::filesystem::remove(dir_.File("prog.log"));
    Settings("[Evts]\nAP=\n");
    ASSERT_EQ(log_.Open(), 0u);
    log_.Log("AP.", "last");
    Device([&](TFaultyDevice& d) {
      d = TFaultyDevice{};
      d.openFailure = c.code;
      d.failingOpens = 4;
    });
    EXPECT_EQ(log_.Flush(), c.code);
    EXPECT_EQ(log_.QueuedRecords(), 1u);
    ASSERT_EQ(log_.Close(), 0u);
    EXPECT_EQ(device_.Count("open"), c.expectedOpens);
    EXPECT_EQ(LogText(), c.written ? "AP. last\r\n" : "");
    // A record not written waits for the next Open.
    EXPECT_EQ(log_.QueuedRecords(), c.written ? 0u : 1u);
    Device([](TFaultyDevice& d) { d = TFaultyDevice{}; });
    ASSERT_EQ(log_.Open(), 0u);
    ASSERT_EQ(log_.Close(), 0u);
    EXPECT_EQ(LogText(), "AP. last\r\n");
  }
}

// While the device stays full, Log calls queue their records without
// trying the write each time, and the queue keeps the newest records within
// its bound; once there is space again they are written, each once.
TEST_F(FaultTest, WhileTheDeviceIsFullLogOnlyQueues) {
  ASSERT_EQ(log_.Open(), 0u);
  Device([](TFaultyDevice& d) { d.freeBytes = 0; });
  const auto start = std::chrono::steady_clock::now();
  for (uint32_t i = 0; i < kQueueBound + 5; ++i) log_.Log("AP.", "%u", i);
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  long attempts = 0;
  Device([&](TFaultyDevice& d) { attempts = d.Count("open"); });
  // One attempt, then at most one per back-off pause (100 ms at least).
  EXPECT_GE(attempts, 1);
  EXPECT_LE(attempts, 2 + elapsed / 100) << "in " << elapsed << " ms";
  EXPECT_EQ(log_.QueuedRecords(), kQueueBound);
  EXPECT_EQ(log_.DroppedRecords(), 5u);
  Device([](TFaultyDevice& d) { d.freeBytes = kUnlimited; });
  ASSERT_EQ(log_.Close(), 0u);
  const std::string text = LogText();
  EXPECT_EQ(text.substr(0, 8), "AP. 5\r\nA");  // the oldest went first
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), long(kQueueBound));
  EXPECT_EQ(text.substr(text.size() - 11), "AP. 10004\r\n");
}

// Threads that log while the logger opens and closes again and again: no
// crash, and every record reaches the file once, in each thread's order,
// since a record logged while the logger is closed waits for the next Open.
TEST_F(LoggerTest, ThreadsLoggingAcrossCloseLoseNothing) {
  Settings("FlshLns=50\n[Evts]\nT=\n");
  constexpr int kThreads = 4;
  constexpr int kRecords = 2000;  // all of them fit the queue bound
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kRecords; ++i) log_.Log("T.", "%d %d", t, i);
    });
  }
  for (int cycle = 0; cycle < 20; ++cycle) {
    ASSERT_EQ(log_.Open(), 0u);
    std::this_thread::yield();
    ASSERT_EQ(log_.Close(), 0u);
  }
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(log_.Open(), 0u);
  ASSERT_EQ(log_.Close(), 0u);
  std::vector<int> next(kThreads, 0);
  const std::string text = LogText();
  size_t from = 0;
  for (size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(text.c_str() + from, "T. %d %d", &t, &i), 2);
    ASSERT_TRUE(t >= 0 && t < kThreads);
    ASSERT_EQ(i, next[size_t(t)]++) << "thread " << t;
  }
  EXPECT_EQ(from, text.size());
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[size_t(t)], kRecords) << "thread " << t;
}

// The record that makes the queue pass the flush lines writes the batch:
// one write of all its lines, then the flush to disk and the close, after
// the lock when the share mode could be lifted and under it otherwise. A
// flush to disk that fails after the write is reported by Flush; its lines
// stay in the file once, and the next batch works as before.
TEST_F(FaultTest, ABatchIsOneWriteAndItsFlushWaitsForTheLockOnlyWhenItMust) {
  Settings("[Evts]\nAP=\n");  // the default flush lines, 100
  for (const uint32_t release : {0u, uint32_t(plat::kErrorNotSupported)}) {
    SCOPED_TRACE(release);
    std::filesystem::remove(dir_.File("prog.log"));
    ASSERT_EQ(log_.Open(), 0u);
    Device([&](TFaultyDevice& d) {
      d = TFaultyDevice{};
      d.lockName = log_.LockName().CStr();
      d.releaseResult = release;
    });
    std::string expected;
    for (int i = 0; i <= 100; ++i) {
      EXPECT_TRUE(device_.calls.empty()) << "written before the flush lines were passed";
      log_.Log("AP.", "record %d", i);
      expected += "AP. record " + std::to_string(i) + "\r\n";
    }
    const char* flush = release == 0 ? "flush, lock free" : "flush under the lock";
    const std::string write = "write " + std::to_string(expected.size());  // the whole batch at once
    EXPECT_EQ(device_.calls, (std::vector<std::string>{"open", write, "release", flush, "close"}));
    EXPECT_EQ(log_.QueuedRecords(), 0u);
    Device([](TFaultyDevice& d) { d.flushFailure = plat::kErrorDiskFull; });
    log_.Log("AP.", "one");
    EXPECT_EQ(log_.Flush(), uint32_t(plat::kErrorDiskFull));
    EXPECT_EQ(device_.calls.back(), "close");
    EXPECT_EQ(log_.QueuedRecords(), 0u);
    Device([](TFaultyDevice& d) { d.flushFailure = 0; });
    log_.Log("AP.", "two");
    EXPECT_EQ(log_.Flush(), 0u);
    EXPECT_EQ(LogText(), expected + "AP. one\r\nAP. two\r\n");
    ASSERT_EQ(log_.Close(), 0u);
  }
}

}  // namespace
}  // namespace yx

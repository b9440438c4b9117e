// The file operations of a batch, seen through the logger's file seam: one
// write for the whole batch, the flush to disk after the logger lock is
// released (where the share mode can be lifted first), and a failed flush
// reported to the caller of Flush.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "plat/Error.h"
#include "plat/File.h"
#include "plat/Mutex.h"
#include "support/TempDir.h"

namespace yx {
namespace {

// The real file, with every operation noted in order. At the flush it asks
// whether the logger's named lock is free: it tries the lock without
// waiting, from the flushing thread's point of view another holder's.
class TRecordingDevice : public TLogFileOps {
 public:
  explicit TRecordingDevice(const TFileLog* log) : log_(log) {}

  uint32_t releaseResult = 0;  // what ReleaseShare answers (0: lifted)
  uint32_t flushFailure = 0;
  std::vector<std::string> calls;
  std::vector<uint32_t> writeSizes;
  bool lockFreeAtFlush = false;

  uint32_t Open(const char* name, plat::FileHandle* file) override {
    calls.push_back("open");
    return TLogFileOps::Open(name, file);
  }
  uint32_t SeekToEnd(plat::FileHandle file, uint64_t* position) override {
    calls.push_back("seek");
    return TLogFileOps::SeekToEnd(file, position);
  }
  uint32_t Write(plat::FileHandle file, const void* bytes, uint32_t size) override {
    calls.push_back("write");
    writeSizes.push_back(size);
    return TLogFileOps::Write(file, bytes, size);
  }
  uint32_t ReleaseShare(plat::FileHandle) override {
    calls.push_back("release");
    return releaseResult;
  }
  uint32_t Flush(plat::FileHandle file) override {
    calls.push_back("flush");
    lockFreeAtFlush = IsLockFree();
    return flushFailure != 0 ? flushFailure : TLogFileOps::Flush(file);
  }
  uint32_t Close(plat::FileHandle file) override {
    calls.push_back("close");
    return TLogFileOps::Close(file);
  }

 private:
  // The named mutex is recursive for its owner, so the question is asked
  // from another thread.
  bool IsLockFree() const {
    bool free = false;
    std::thread([&] {
      plat::MutexHandle mutex = nullptr;
      if (plat::OpenNamedMutex(log_->LockName().CStr(), &mutex) != 0) return;
      if (plat::WaitMutex(mutex, 0) == 0) {
        free = true;
        plat::ReleaseMutexHandle(mutex);
      }
      plat::CloseMutexHandle(mutex);
    }).join();
    return free;
  }

  const TFileLog* log_;
};

class BatchTest : public ::testing::Test {
 protected:
  BatchTest() {
    test::WriteFile(dir_.File("prog.wli"), "[Prms]\nTmFrmt=\nPID=Off\nTID=Off\n[Evts]\nAP=\n");
    log_.SetFileNames(dir_.File("prog.exe").c_str());
    log_.SetFileOps(&device_);
  }
  ~BatchTest() override {
    log_.Close();
    log_.SetFileOps(nullptr);
  }

  std::string LogText() const { return test::ReadFile(dir_.File("prog.log")); }

  test::ScopedTempDir dir_;
  TLog log_{1};
  TRecordingDevice device_{&log_};
};

// The record that makes the queue pass the flush lines writes the batch:
// one write of all its lines, then the flush to disk and the close, after
// the lock when the share mode could be lifted and under it otherwise.
TEST_F(BatchTest, ABatchIsOneWriteAndItsFlushWaitsForTheLockOnlyWhenItMust) {
  struct Case {
    const char* name;
    uint32_t releaseResult;
    std::vector<std::string> calls;
    bool lockFreeAtFlush;
  };
  // clang-format off
  const Case cases[] = {
      {"share mode lifted", 0,
       {"open", "seek", "write", "release", "flush", "close"}, true},
      {"share mode fixed", plat::kErrorNotSupported,
       {"open", "seek", "write", "release", "flush", "close"}, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(log_.Open(), 0u);
    {
      TLogLock lock(&log_);
      device_.releaseResult = c.releaseResult;
      device_.calls.clear();
      device_.writeSizes.clear();
    }
    const std::string before = LogText();
    std::string expected;
    for (int i = 0; i < 100; ++i) {
      log_.Log("AP.", "record %d", i);
      expected += "AP. record " + std::to_string(i) + "\r\n";
    }
    EXPECT_TRUE(device_.calls.empty()) << "written before the flush lines were passed";
    log_.Log("AP.", "record %d", 100);
    expected += "AP. record 100\r\n";
    EXPECT_EQ(device_.calls, c.calls);
    EXPECT_EQ(device_.writeSizes, std::vector<uint32_t>{uint32_t(expected.size())});
    EXPECT_EQ(device_.lockFreeAtFlush, c.lockFreeAtFlush);
    EXPECT_EQ(LogText(), before + expected);
    EXPECT_EQ(log_.QueuedRecords(), 0u);
    ASSERT_EQ(log_.Close(), 0u);
  }
}

// A flush to disk that fails after the lines were written: Flush reports its
// code, the lines stay in the file once (they are not queued again), the
// file is closed, and the next batch works as before.
TEST_F(BatchTest, AFailedFlushToDiskIsReported) {
  for (uint32_t release : {0u, uint32_t(plat::kErrorNotSupported)}) {
    SCOPED_TRACE(release);
    std::filesystem::remove(dir_.File("prog.log"));
    ASSERT_EQ(log_.Open(), 0u);
    {
      TLogLock lock(&log_);
      device_.releaseResult = release;
      device_.flushFailure = plat::kErrorDiskFull;
      device_.calls.clear();
    }
    log_.Log("AP.", "one");
    EXPECT_EQ(log_.Flush(), uint32_t(plat::kErrorDiskFull));
    EXPECT_EQ(device_.calls.back(), "close");
    EXPECT_EQ(log_.QueuedRecords(), 0u);
    {
      TLogLock lock(&log_);
      device_.flushFailure = 0;
    }
    log_.Log("AP.", "two");
    EXPECT_EQ(log_.Flush(), 0u);
    EXPECT_EQ(LogText(), "AP. one\r\nAP. two\r\n");
    ASSERT_EQ(log_.Close(), 0u);
  }
}

}  // namespace
}  // namespace yx

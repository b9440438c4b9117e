// Helpers of the tests of the logger's platform services: the scoped
// temporary directory, opens that check their outcome, names no other test
// run uses, and a thread that runs a lambda.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "plat/Error.h"
#include "plat/File.h"
#include "plat/Process.h"
#include "plat/Thread.h"
#include "support/TempDir.h"

namespace yxtest {

using yx::test::ScopedTempDir;

constexpr uint32_t kR = plat::kGenericRead;
constexpr uint32_t kW = plat::kGenericWrite;
constexpr uint32_t kShareR = plat::kFileShareRead;
constexpr uint32_t kShareRW = plat::kFileShareRead | plat::kFileShareWrite;

// Opens and expects success; returns the handle.
inline plat::FileHandle MustOpen(const std::string& name, uint32_t access, uint32_t share,
                                 uint32_t disposition) {
  plat::FileHandle file = nullptr;
  EXPECT_EQ(plat::OpenFile(name.c_str(), access, share, disposition, &file), 0u) << name;
  EXPECT_NE(file, nullptr);
  return file;
}

// Opens and returns the error code, which is also the last error, with a
// null handle; a handle that was opened is closed.
inline uint32_t OpenCode(const std::string& name, uint32_t access, uint32_t share, uint32_t disposition) {
  plat::FileHandle file = reinterpret_cast<plat::FileHandle>(1);
  const uint32_t code = plat::OpenFile(name.c_str(), access, share, disposition, &file);
  if (code != 0) {
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(plat::LastError(), code);
  } else {
    plat::CloseFile(file);
  }
  return code;
}

// An object name that no other test and no other run of the tests uses.
inline std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "yx_plat_" + tag + "_" + std::to_string(plat::CurrentProcessId()) + "_" + std::to_string(++counter);
}

// Runs `body` in a new thread made by CreateThreadObject.
class TestThread {
 public:
  explicit TestThread(std::function<uint32_t()> body) : body_(std::move(body)) {
    plat::CreateThreadObject(&TestThread::Run, this, &id_, &handle_);
  }
  ~TestThread() {
    if (handle_ != nullptr) {
      plat::WaitThread(handle_, plat::kInfinite);
      plat::CloseThreadHandle(handle_);
    }
  }
  TestThread(const TestThread&) = delete;
  TestThread& operator=(const TestThread&) = delete;

  uint32_t Id() const { return id_; }
  plat::ThreadHandle Handle() const { return handle_; }
  // Waits for the end and gives the body's result; kNotRun when the thread
  // was never made.
  static constexpr uint32_t kNotRun = 0xDEAD;
  uint32_t Join() { return plat::WaitThread(handle_, plat::kInfinite) == 0 ? exitCode_ : kNotRun; }

 private:
  static uint32_t Run(void* self) {
    auto* thread = static_cast<TestThread*>(self);
    return thread->exitCode_ = thread->body_();
  }

  std::function<uint32_t()> body_;
  uint32_t id_ = 0;
  plat::ThreadHandle handle_ = nullptr;
  uint32_t exitCode_ = 0;
};

}  // namespace yxtest

// Helpers of the tests of the logger's platform services: a scoped temporary
// directory, names no other test run uses, and a thread that runs a lambda.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#include "plat/Process.h"
#include "plat/Thread.h"

namespace yxtest {

// A new directory under the system's temporary directory, removed with its
// content when the object goes out of scope.
class ScopedTempDir {
 public:
  ScopedTempDir() {
    static std::atomic<int> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    do {
      path_ =
          base / ("yx_plat_" + std::to_string(plat::CurrentProcessId()) + "_" + std::to_string(++counter));
    } while (!std::filesystem::create_directory(path_));
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The path of `name` inside the directory, in the platform's form.
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Path(const std::string& dir, const std::string& name) const {
    return (path_ / dir / name).string();
  }
  // The directory itself.
  std::string Root() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// An object name that no other test and no other run of the tests uses.
inline std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "yx_plat_" + tag + "_" + std::to_string(plat::CurrentProcessId()) + "_" + std::to_string(++counter);
}

// Runs `body` in a new thread through CreateThreadObject; the thread's exit
// code is the body's result.
class TestThread {
 public:
  explicit TestThread(std::function<uint32_t()> body) : body_(std::move(body)) {
    result_ = plat::CreateThreadObject(&TestThread::Run, this, &id_, &handle_);
  }
  ~TestThread() {
    if (handle_ != nullptr) {
      plat::WaitThread(handle_, plat::kInfinite);
      plat::CloseThreadHandle(handle_);
    }
  }
  TestThread(const TestThread&) = delete;
  TestThread& operator=(const TestThread&) = delete;

  uint32_t CreateResult() const { return result_; }
  uint32_t Id() const { return id_; }
  plat::ThreadHandle Handle() const { return handle_; }
  // Waits for the end; returns the body's result (valid once the wait gave 0).
  uint32_t Join() {
    plat::WaitThread(handle_, plat::kInfinite);
    return exitCode_;
  }

 private:
  static uint32_t Run(void* self) {
    auto* thread = static_cast<TestThread*>(self);
    thread->exitCode_ = thread->body_();
    return thread->exitCode_;
  }

  std::function<uint32_t()> body_;
  uint32_t result_ = 0;
  uint32_t id_ = 0;
  plat::ThreadHandle handle_ = nullptr;
  uint32_t exitCode_ = 0;
};

}  // namespace yxtest

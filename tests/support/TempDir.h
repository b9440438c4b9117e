// A temporary directory for one test, removed with everything in it, and
// small helpers to read and write whole files in it.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace yx::test {

class ScopedTempDir {
 public:
  // A new directory under the system's temporary directory; its name is one
  // that no other test, thread or run of the tests has at that moment.
  ScopedTempDir() {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    do {
      const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
      path_ = base / ("yxtk-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(path_));
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The path of `name` (or of `dir`/`name`) inside the directory, in the
  // platform's form.
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::string File(const std::string& dir, const std::string& name) const {
    return (path_ / dir / name).string();
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace yx::test

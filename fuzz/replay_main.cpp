// Replay program of a fuzz target, for builds without libFuzzer: runs the
// target once on every file named on the command line and on every regular
// file under every directory named there (in name order), then prints how
// many inputs ran. A broken property aborts the program; an unreadable path
// or no input at all fails it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// Runs the target on one file; false when it cannot be read.
bool RunFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  // A buffer of exactly the input's size, so that a sanitizer sees any read
  // past its end.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
    return 2;
  }
  unsigned count = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path path(argv[i]);
    std::error_code error;
    std::vector<fs::path> files;
    if (fs::is_directory(path, error)) {
      for (fs::recursive_directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error)) files.push_back(it->path());
      }
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(path);
    }
    if (error) {
      std::fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
      return 1;
    }
    for (const fs::path& file : files) {
      if (!RunFile(file)) {
        std::fprintf(stderr, "%s: cannot read\n", file.string().c_str());
        return 1;
      }
      ++count;
    }
  }
  std::printf("replayed %u inputs\n", count);
  if (count == 0) {
    std::fprintf(stderr, "no input to replay\n");
    return 1;
  }
  return 0;
}

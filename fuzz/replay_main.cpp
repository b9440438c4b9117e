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

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (fs::is_directory(argv[i], error)) {
      for (fs::recursive_directory_iterator it(argv[i], error), end; !error && it != end;
           it.increment(error)) {
        if (it->is_regular_file(error)) files.push_back(it->path());
      }
    } else {
      files.push_back(argv[i]);
    }
    if (error) {
      std::fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
      return 1;
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    // A buffer of exactly the input's size, so that a sanitizer sees any
    // read past its end.
    const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
      std::fprintf(stderr, "%s: cannot read\n", file.string().c_str());
      return 1;
    }
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
  }
  std::printf("replayed %u inputs\n", unsigned(files.size()));
  if (files.empty()) {
    std::fprintf(stderr, "no input to replay\n");
    return 1;
  }
  return 0;
}

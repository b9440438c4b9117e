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
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  try {
    for (int i = 1; i < argc; ++i) {
      if (!fs::is_directory(argv[i])) {
        files.push_back(argv[i]);
        continue;
      }
      for (const fs::directory_entry& entry : fs::recursive_directory_iterator(argv[i])) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    }
  } catch (const fs::filesystem_error& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
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
  if (files.empty()) std::fprintf(stderr, "no input to replay\n");
  return files.empty() ? 1 : 0;
}

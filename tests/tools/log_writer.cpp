// Logs through the process's own logger (TLog::Instance, files beside this
// program) for the end-to-end tests of several processes logging into one file:
//   log_writer -w TAG [-t THREADS] [-r READY] [-g GO] [-s STOP] [-x exit|return] RECORDS
// After Open it creates READY and waits for GO. Each thread then logs RECORDS
// records "T. w=TAG pid=PID t=THREAD n=NUMBER <100 digits and letters>", with
// -s more, one a millisecond, until STOP exists. Then it closes the logger
// (with -x leaves that to exit(0) or the return from main) and prints
// "thread <index> records <logged>" per thread and
// "records <logged> left <still queued> dropped <dropped by the queue bound>".
// Exits 0; 1 when Open fails, 2 for a bad command line, 3 when READY cannot
// be made or GO or STOP did not appear within five minutes.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Log.h"
#include "plat/Clock.h"
#include "plat/Process.h"

namespace {

// How long the program waits for the files GO and STOP.
constexpr uint32_t kWaitLimitMs = 300000;

struct TOptions {
  unsigned long threads = 1;
  std::string tag;
  const char* readyFile = nullptr;
  const char* goFile = nullptr;
  const char* stopFile = nullptr;
  const char* endWithout = nullptr;  // "exit" or "return": no Close
  unsigned long records = 0;
};

bool FileExists(const char* name) {
  std::error_code error;
  return std::filesystem::exists(name, error);
}

// Polls for the file until it exists or the wait limit has passed.
bool WaitForFile(const char* name) {
  const uint32_t start = plat::TickCount();
  while (!FileExists(name)) {
    if (plat::TickCount() - start > kWaitLimitMs) return false;
    plat::Sleep(1);
  }
  return true;
}

bool ParseNumber(const char* text, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(text, &end, 10);
  return *text >= '0' && *text <= '9' && *end == '\0';
}

bool ParseOptions(int argc, char** argv, TOptions* options) {
  int i = 1;
  for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] != '\0' && argv[i][2] == '\0'; i += 2) {
    const char* value = argv[i + 1];
    switch (argv[i][1]) {
      case 't':
        if (!ParseNumber(value, &options->threads) || options->threads == 0 || options->threads > 64)
          return false;
        break;
      case 'w': options->tag = value; break;
      case 'r': options->readyFile = value; break;
      case 'g': options->goFile = value; break;
      case 's': options->stopFile = value; break;
      case 'x':
        if (std::strcmp(value, "exit") != 0 && std::strcmp(value, "return") != 0) return false;
        options->endWithout = value;
        break;
      default: return false;
    }
  }
  return i + 1 == argc && ParseNumber(argv[i], &options->records) && !options->tag.empty();
}

// The records of one thread; returns how many it logged, or -1 when STOP
// did not appear in time.
long LogRecords(const TOptions& options, int thread) {
  static const std::string payload =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZab";
  const unsigned pid = plat::CurrentProcessId();
  const uint32_t start = plat::TickCount();
  unsigned long n = 0;
  for (;; ++n) {
    if (n >= options.records) {
      if (options.stopFile == nullptr || FileExists(options.stopFile)) break;
      if (plat::TickCount() - start > kWaitLimitMs) return -1;
    }
    // Every call site fetches the logger anew, as the program does.
    yx::TLog::Instance().Log("T.", "w=%s pid=%u t=%d n=%lu %s", options.tag.c_str(), pid, thread, n,
                             payload.c_str());
    if (options.stopFile != nullptr) plat::Sleep(1);
  }
  return long(n);
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(
        stderr,
        "usage: log_writer -w TAG [-t THREADS] [-r READY] [-g GO] [-s STOP] [-x exit|return] RECORDS\n");
    return 2;
  }
  yx::TLog& log = yx::TLog::Instance();
  if (uint32_t code = log.Open()) {
    std::fprintf(stderr, "log_writer: Open failed with %u\n", unsigned(code));
    return 1;
  }
  if ((options.readyFile != nullptr && !std::ofstream(options.readyFile)) ||
      (options.goFile != nullptr && !WaitForFile(options.goFile))) {
    std::fprintf(stderr, "log_writer: cannot create the ready file, or no go file\n");
    log.Close();
    return 3;
  }

  std::vector<long> logged(options.threads, 0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < logged.size(); ++i) {
    threads.emplace_back([&, i] { logged[i] = LogRecords(options, int(i)); });
  }
  for (std::thread& thread : threads) thread.join();
  if (options.endWithout == nullptr) log.Close();

  long total = 0;
  bool timedOut = false;
  for (size_t i = 0; i < logged.size(); ++i) {
    timedOut = timedOut || logged[i] < 0;
    total += logged[i] < 0 ? 0 : logged[i];
    std::printf("thread %u records %ld\n", unsigned(i), logged[i]);
  }
  std::printf("records %ld left %u dropped %llu\n", total, unsigned(log.QueuedRecords()),
              static_cast<unsigned long long>(log.DroppedRecords()));
  std::fflush(stdout);
  if (timedOut) {
    std::fprintf(stderr, "log_writer: %s did not appear\n", options.stopFile);
    return 3;
  }
  // The queue is then written by the logger's destruction at the process's
  // end.
  if (options.endWithout != nullptr && std::strcmp(options.endWithout, "exit") == 0) std::exit(0);
  return 0;
}

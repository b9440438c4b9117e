// The calling process and thread on POSIX: getpid and gettid, cached (the
// caches are dropped in a child made by fork), and the command line rebuilt
// from /proc/self/cmdline.

#include "plat/Process.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "plat/Wait.h"

namespace plat {
namespace {

std::atomic<uint32_t> gProcessId{0};  // 0: not read yet in this process
thread_local uint32_t tThreadId = 0;  // 0: not read yet in this thread

// Runs in the child of a fork, in its only thread: the ids read before the
// fork belong to the parent.
void ForgetIdsInChild() {
  gProcessId.store(0, std::memory_order_relaxed);
  tThreadId = 0;
}

// Registers the fork handler once, before the first id is cached, so that no
// cached id can reach a child unnoticed.
void WatchForks() {
  static const bool registered = pthread_atfork(nullptr, nullptr, ForgetIdsInChild) == 0;
  (void)registered;
}

// One argument of the command line: as it is, or in double quotes when it is
// empty or holds a blank.
void AppendArgument(const std::string& arg, std::string* line) {
  if (!line->empty()) line->push_back(' ');
  bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
  if (quote) line->push_back('"');
  line->append(arg);
  if (quote) line->push_back('"');
}

std::string ReadCommandLine() {
  std::string raw;
  if (FILE* f = std::fopen("/proc/self/cmdline", "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) raw.append(buf, n);
    std::fclose(f);
  }
  // The arguments are each followed by a zero byte.
  std::string line;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    AppendArgument(raw.substr(start, end - start), &line);
    start = end + 1;
  }
  return line;
}

}  // namespace

uint32_t CurrentProcessId() {
  uint32_t id = gProcessId.load(std::memory_order_relaxed);
  if (id == 0) {
    WatchForks();
    id = static_cast<uint32_t>(getpid());
    gProcessId.store(id, std::memory_order_relaxed);
  }
  return id;
}

uint32_t CurrentThreadId() {
  if (tThreadId == 0) {
    WatchForks();
    tThreadId = static_cast<uint32_t>(syscall(SYS_gettid));
  }
  return tThreadId;
}

const char* CommandLine() {
  // Never destroyed, so that it stays valid for code that runs at exit.
  static const std::string* const line = new std::string(ReadCommandLine());
  return line->c_str();
}

void Sleep(uint32_t ms) {
  if (ms == kInfinite) {
    for (;;) pause();
  }
  timespec left;
  left.tv_sec = ms / 1000;
  left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace plat

// The calling process and thread on POSIX: getpid and gettid, cached (the
// caches are dropped in a child made by fork), the command line rebuilt
// from /proc/self/cmdline, and the arguments in the ANSI code page.

#include "plat/Process.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "CodePages.h"
#include "Codeset.h"
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

// Argument 0 as it is read from a command line: up to the first blank
// outside double quotes, without a pair of double quotes around it all.
std::string ReadArgumentZero(const std::string& line) {
  bool quoted = false;
  size_t end = 0;
  for (; end < line.size() && (quoted || line[end] != ' '); ++end) {
    if (line[end] == '"') quoted = !quoted;
  }
  std::string arg = line.substr(0, end);
  if (arg.size() >= 2 && arg.front() == '"' && arg.back() == '"') arg = arg.substr(1, arg.size() - 2);
  return arg;
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
  std::vector<std::string> args;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    args.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  std::string line;
  for (const std::string& arg : args) AppendArgument(arg, &line);
  // A double quote in the program path (which a Windows path cannot hold)
  // can keep argument 0 from reading back from the joined line, so that the
  // next argument would be glued to it: then the line holds argument 0
  // alone, in double quotes where only that reads back.
  if (!args.empty() && ReadArgumentZero(line) != args[0]) {
    line = args[0];
    if (ReadArgumentZero(line) != args[0]) line = '"' + args[0] + '"';
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

char** AnsiArguments(int argc, char** argv) {
  const std::string codeset = detail::LocaleCodeset();
  if (argc < 2 || codeset.empty()) return argv;
  const char* ansi = detail::UserCodePage().ansi == 1251 ? "CP1251" : "CP1252";
  // Kept for the rest of the process, as argv itself is.
  static std::vector<std::string>* const texts = new std::vector<std::string>();
  static std::vector<char*>* const pointers = new std::vector<char*>();
  texts->assign(size_t(argc), std::string());
  pointers->assign(argv, argv + argc);
  pointers->push_back(nullptr);
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    bool ascii = true;
    for (const char* p = arg; *p != '\0'; ++p) ascii = ascii && static_cast<unsigned char>(*p) < 0x80;
    if (ascii) continue;
    std::string utf8;
    std::string& text = (*texts)[size_t(i)];
    if (!detail::ConvertCodeset(codeset.c_str(), "UTF-8", arg, std::strlen(arg), &utf8) ||
        !detail::ConvertCodeset("UTF-8", ansi, utf8.data(), utf8.size(), &text)) {
      return argv;  // a codeset iconv does not know: the bytes as they came
    }
    (*pointers)[size_t(i)] = &text[0];
  }
  return pointers->data();
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

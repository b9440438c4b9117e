// Throughput, call latency and memory of the logger, each against baselines
// measured in the same run, printed as one table of ratios.
//
// - Records per second from TLog::Log to the log file with the default
//   settings and the event list "AP=" (a batch of 101 records written and
//   flushed to disk whenever more than 100 wait), with 1 and 2 logging
//   threads, on /dev/shm (memory) and in a directory on a disk. Baselines:
//   - spdlog's basic_logger_mt writing the same line layout (category,
//     "dd.MM.yyyy HH:mm:ss.iii", Pid=%#06x, Tid=%#06x, message, CRLF) with a
//     flush() after every 101st record: the same batches, but the lines only
//     reach the kernel, not the disk;
//   - the same with an fsync of the file after each of those flushes, by the
//     thread that flushed, outside spdlog's lock: the yx logger's durability;
//   - a plain loop that writes the same 101-line batches with one write()
//     and one fsync() each, on a file it keeps open: the limit of the file
//     system.
//   A timed run covers every call and the final Close (or flush), and each
//   log file is checked to hold every record.
// - Log call latency (percentiles of single calls timed with steady_clock)
//   while no flush is due, in two ways: flush lines and seconds so large
//   that every record only queues (the queue grows to all of them), and the
//   steady state of the default settings, where the 100 calls of every 101
//   that only queue are timed and the one that writes the batch is not.
//   Baseline: spdlog's info call (without, and with, an untimed flush after
//   every 101st record).
// - Peak memory of a child process that logs with the default flush lines
//   on /dev/shm, with 1 and 2 threads: the growth of its VmHWM from before
//   the logger was made (ru_maxrss would keep the peak of the image that
//   called exec); the same for spdlog flushed every 101 records. Twice: as
//   the process grows, which counts the code each logger runs for the first
//   time (mapped 64 KiB at a time), and with the program's files mapped
//   first, which counts only the memory the logger takes (heap, stacks).
//
// Both sides do the same work per record. The spdlog side prints the process
// id it read once, as the yx logger does: a getpid() per record (what
// spdlog's own %P does) costs a system call, several microseconds on a
// virtual machine, and made the yx logger look faster than spdlog when it
// was not.
//
// Every case runs --repeat times (5 by default), yx and its baselines in
// turn, so that a busy moment of a shared machine hits all of them alike;
// the table gives each figure's median and range, and the median and range
// of the ratios of runs made side by side. The load average of the machine
// is printed at the start and the end.
//
// Run: build/linux/bench/log_throughput [--quick] [--records N] [--repeat N]
//        [--shm-dir DIR] [--disk-dir DIR] [--only yx|spdlog]
// --quick (or YX_BENCH_QUICK=1 in the environment) is a smoke run with small
// counts; --only runs just that logger's one-thread case in memory, once,
// for a profiler. The disk directory defaults to /var/tmp, the program warns
// when it is not on a disk.

#include <fcntl.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr char kCategory[] = "AP.";
// The message of every record; the same text on both sides.
constexpr char kYxFormat[] = "WindowsSuspend() end, mode=%s, result=%u, record %d";
constexpr char kSpdFormat[] = "WindowsSuspend() end, mode={}, result={}, record {}";
constexpr char kMode[] = "S";

// A batch: more records than the default flush lines (100) are written at
// once.
constexpr int kBatchRecords = 101;

constexpr char kDefaultSettings[] = "[Evts]\nAP=\n";
// Records only queue: no flush is due by count or by time.
constexpr char kQueueOnlySettings[] = "[Prms]\nFlshLns=2000000000\nFlshSec=1000000\n[Evts]\nAP=\n";

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "log_throughput: %s: %s\n", what, detail.c_str());
  std::exit(2);
}

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }

// ---------------------------------------------------------------------------
// Files

std::string ReadFile(const std::string& path) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[1 << 16];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
  close(fd);
  return text;
}

void WriteFile(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size())) Fail("cannot write", path);
  close(fd);
}

size_t CountLines(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

// The lines of a file, read in small pieces (the memory runs must not hold
// the file).
size_t CountFileLines(const std::string& path) {
  size_t lines = 0;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buffer[1 << 14];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) lines += size_t(std::count(buffer, buffer + n, '\n'));
  close(fd);
  return lines;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n') + 1); }

// The line with every digit and hexadecimal letter masked, so that two lines
// of the same layout compare equal whatever their time and ids.
std::string Layout(const std::string& line) {
  std::string masked = line;
  for (char& c : masked) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) c = '#';
  }
  return masked;
}

// The file system's name, for the table's heading.
std::string FileSystemName(const std::string& dir) {
  struct statfs info {};
  if (statfs(dir.c_str(), &info) != 0) return "?";
  switch (uint64_t(info.f_type)) {
    case 0x01021994: return "tmpfs";
    case 0xEF53: return "ext2/3/4";
    case 0x58465342: return "xfs";
    case 0x9123683E: return "btrfs";
    case 0x794C7630: return "overlayfs";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "fs 0x%llx", static_cast<unsigned long long>(info.f_type));
      return text;
    }
  }
}

bool IsMemoryFileSystem(const std::string& dir) {
  struct statfs info {};
  return statfs(dir.c_str(), &info) == 0 && uint64_t(info.f_type) == 0x01021994;
}

// ---------------------------------------------------------------------------
// Running threads

// Runs body(thread, count) on `threads` threads at once, `records` calls
// shared among them; returns when all are done.
void RunThreads(int threads, int records, const std::function<void(int, int)>& body) {
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    const int count = records / threads + (t < records % threads ? 1 : 0);
    pool.emplace_back([&, t, count] {
      ready.fetch_add(1);
      while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
      body(t, count);
    });
  }
  while (ready.load() != threads) std::this_thread::yield();
  go.store(true, std::memory_order_release);
  for (std::thread& th : pool) th.join();
}

// ---------------------------------------------------------------------------
// yx

// A logger whose settings file and log file lie in `dir`: the program path
// "<dir>/yxbench.exe" gives "<dir>/yxbench.wli" and "<dir>/yxbench.log".
struct TYxFiles {
  explicit TYxFiles(const std::string& dir)
      : program(dir + "/yxbench.exe"), settings(dir + "/yxbench.wli"), log(dir + "/yxbench.log") {}
  std::string program;
  std::string settings;
  std::string log;
};

void OpenYx(yx::TLog* log, const TYxFiles& files, const char* settings) {
  WriteFile(files.settings, settings);
  unlink(files.log.c_str());
  log->SetFileNames(files.program.c_str());
  if (uint32_t code = log->Open()) Fail("TLog::Open failed", std::to_string(code));
}

// Seconds for `records` Log calls on `threads` threads and the Close that
// writes the rest. The log file is left for the caller.
double TimeYx(const TYxFiles& files, int threads, int records) {
  yx::TLog log(static_cast<uint32_t>(getpid()));
  OpenYx(&log, files, kDefaultSettings);
  const TClock::time_point start = TClock::now();
  RunThreads(threads, records, [&](int, int count) {
    for (int i = 0; i < count; ++i) log.Log(kCategory, kYxFormat, kMode, 0u, i);
  });
  log.Close();
  return Seconds(TClock::now() - start);
}

// ---------------------------------------------------------------------------
// spdlog

// "Pid=%#06x" of the process, read once (the yx logger caches it too),
// "Tid=%#06x" of the record's thread (spdlog caches that per thread).
class TPidFlag : public spdlog::custom_flag_formatter {
 public:
  void format(const spdlog::details::log_msg&, const std::tm&, spdlog::memory_buf_t& dest) override {
    static const unsigned pid = unsigned(getpid());
    fmt::format_to(std::back_inserter(dest), "Pid={:#06x}", pid);
  }
  std::unique_ptr<custom_flag_formatter> clone() const override { return std::make_unique<TPidFlag>(); }
};

class TTidFlag : public spdlog::custom_flag_formatter {
 public:
  void format(const spdlog::details::log_msg& msg, const std::tm&, spdlog::memory_buf_t& dest) override {
    fmt::format_to(std::back_inserter(dest), "Tid={:#06x}", unsigned(msg.thread_id));
  }
  std::unique_ptr<custom_flag_formatter> clone() const override { return std::make_unique<TTidFlag>(); }
};

// A basic_logger_mt named by the category writing `path` from empty, in the
// line layout of the yx logger.
std::shared_ptr<spdlog::logger> OpenSpd(const std::string& path) {
  unlink(path.c_str());
  auto logger = spdlog::basic_logger_mt(kCategory, path, true);
  spdlog::pattern_formatter::custom_flags flags;
  flags['*'] = std::make_unique<TPidFlag>();
  flags['&'] = std::make_unique<TTidFlag>();
  logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(
      "%n %d.%m.%Y %H:%M:%S.%e %* %& %v", spdlog::pattern_time_type::local, "\r\n", std::move(flags)));
  logger->set_level(spdlog::level::info);
  logger->flush_on(spdlog::level::off);
  return logger;
}

void CloseSpd(std::shared_ptr<spdlog::logger>* logger) {
  logger->reset();
  spdlog::drop(kCategory);
}

// Seconds for `records` info calls on `threads` threads, a flush after every
// 101st record (by the thread that logged it), and the final flush. With
// `sync`, each flush is followed by an fsync of the file through a second
// descriptor, outside spdlog's lock, as the lines' way to the disk.
double TimeSpd(const std::string& path, int threads, int records, bool sync) {
  std::shared_ptr<spdlog::logger> logger = OpenSpd(path);
  const int fd = sync ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (sync && fd < 0) Fail("cannot open", path);
  auto flush = [&] {
    logger->flush();
    if (sync && fsync(fd) != 0) Fail("fsync", path);
  };
  std::atomic<uint32_t> logged{0};
  const TClock::time_point start = TClock::now();
  RunThreads(threads, records, [&](int, int count) {
    for (int i = 0; i < count; ++i) {
      logger->info(kSpdFormat, kMode, 0u, i);
      if ((logged.fetch_add(1, std::memory_order_relaxed) + 1) % kBatchRecords == 0) flush();
    }
  });
  flush();
  const double seconds = Seconds(TClock::now() - start);
  if (fd >= 0) close(fd);
  CloseSpd(&logger);
  return seconds;
}

// ---------------------------------------------------------------------------
// The file system's limit: batches of 101 ready lines, write() and fsync()

double TimeWriteFsync(const std::string& path, const std::string& line, int records) {
  std::string batch;
  for (int i = 0; i < kBatchRecords; ++i) batch += line;
  unlink(path.c_str());
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot open", path);
  const TClock::time_point start = TClock::now();
  for (int done = 0; done < records; done += kBatchRecords) {
    const size_t lines = size_t(std::min(kBatchRecords, records - done));
    if (write(fd, batch.data(), lines * line.size()) != ssize_t(lines * line.size())) Fail("write", path);
    if (fsync(fd) != 0) Fail("fsync", path);
  }
  const double seconds = Seconds(TClock::now() - start);
  close(fd);
  if (CountFileLines(path) != size_t(records)) Fail("write+fsync loop incomplete", path);
  return seconds;
}

// ---------------------------------------------------------------------------
// Latency

struct TPercentiles {
  double p50 = 0;
  double p99 = 0;
};

TPercentiles Percentiles(std::vector<int64_t>* ns) {
  std::sort(ns->begin(), ns->end());
  auto at = [&](double q) { return double((*ns)[std::min(ns->size() - 1, size_t(q * double(ns->size())))]); };
  return {at(0.50), at(0.99)};
}

// Nanoseconds of each of `records` calls, timed one by one.
template <class Call>
std::vector<int64_t> TimeCalls(int records, Call call) {
  std::vector<int64_t> ns(static_cast<size_t>(records));
  for (int i = 0; i < records; ++i) {
    const TClock::time_point start = TClock::now();
    call(i);
    ns[size_t(i)] = std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now() - start).count();
  }
  return ns;
}

TPercentiles YxLatency(const TYxFiles& files, int records) {
  yx::TLog log(static_cast<uint32_t>(getpid()));
  OpenYx(&log, files, kQueueOnlySettings);
  std::vector<int64_t> ns = TimeCalls(records, [&](int i) { log.Log(kCategory, kYxFormat, kMode, 0u, i); });
  if (log.QueuedRecords() != uint32_t(records)) {
    Fail("latency", "records were written while timing (" + std::to_string(log.QueuedRecords()) + " queued)");
  }
  log.Close();
  return Percentiles(&ns);
}

TPercentiles SpdLatency(const std::string& path, int records) {
  std::shared_ptr<spdlog::logger> logger = OpenSpd(path);
  std::vector<int64_t> ns = TimeCalls(records, [&](int i) { logger->info(kSpdFormat, kMode, 0u, i); });
  CloseSpd(&logger);
  return Percentiles(&ns);
}

// In the steady state of the default settings: of every 101 calls, the 100
// that only queue are timed; the one that writes the batch is made untimed.
TPercentiles YxSteadyLatency(const TYxFiles& files, int records) {
  yx::TLog log(static_cast<uint32_t>(getpid()));
  OpenYx(&log, files, kDefaultSettings);
  std::vector<int64_t> ns;
  ns.reserve(size_t(records));
  for (int i = 0; i < records; ++i) {
    if (log.QueuedRecords() == uint32_t(kBatchRecords - 1)) {
      log.Log(kCategory, kYxFormat, kMode, 0u, i);
      if (log.QueuedRecords() != 0) Fail("latency", "the batch was not written by the 101st call");
      continue;
    }
    const TClock::time_point start = TClock::now();
    log.Log(kCategory, kYxFormat, kMode, 0u, i);
    ns.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now() - start).count());
  }
  log.Close();
  return Percentiles(&ns);
}

// The same for spdlog: 100 info calls timed, then the 101st and a flush.
TPercentiles SpdSteadyLatency(const std::string& path, int records) {
  std::shared_ptr<spdlog::logger> logger = OpenSpd(path);
  std::vector<int64_t> ns;
  ns.reserve(size_t(records));
  for (int i = 0; i < records; ++i) {
    if ((i + 1) % kBatchRecords == 0) {
      logger->info(kSpdFormat, kMode, 0u, i);
      logger->flush();
      continue;
    }
    const TClock::time_point start = TClock::now();
    logger->info(kSpdFormat, kMode, 0u, i);
    ns.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now() - start).count());
  }
  CloseSpd(&logger);
  return Percentiles(&ns);
}

volatile int gSink = 0;

// The cost of the timing itself: two clock readings with nothing between.
TPercentiles ClockLatency(int records) {
  std::vector<int64_t> ns = TimeCalls(records, [](int i) { gSink = i; });
  return Percentiles(&ns);
}

// ---------------------------------------------------------------------------
// Peak memory, measured in a child process

// Kibibytes of a "Name:   value kB" line of /proc/self/status (VmHWM: the
// peak of this process image alone, which ru_maxrss is not: it keeps the
// peak of the image that called exec).
long StatusKib(const char* name) {
  const std::string status = ReadFile("/proc/self/status");
  const size_t at = status.find(std::string(name) + ":");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + std::strlen(name) + 1);
}

// Maps every page of the program's and its libraries' files (code, tables)
// into the process by reading a byte of each. A first call into code maps
// its pages, and the kernel maps up to 16 neighbours of each page it reads
// in: without this, a logger's figure would be mostly the code it runs for
// the first time, in steps of 64 KiB, rather than the memory it holds.
void MapProgramFiles() {
  const std::string maps = ReadFile("/proc/self/maps");
  size_t at = 0;
  while (at < maps.size()) {
    size_t end = maps.find('\n', at);
    if (end == std::string::npos) end = maps.size();
    const std::string line = maps.substr(at, end - at);
    at = end + 1;
    unsigned long low = 0, high = 0, offset = 0, inode = 0;
    char perms[8] = {0};
    char device[16] = {0};
    int pathAt = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx %7s %lx %15s %lu %n", &low, &high, perms, &offset, device, &inode,
                    &pathAt) < 6 ||
        inode == 0 || perms[0] != 'r' || pathAt <= 0 || line[size_t(pathAt)] != '/') {
      continue;
    }
    for (unsigned long page = low; page < high; page += 4096) gSink = *reinterpret_cast<volatile char*>(page);
  }
}

// The child: logs `records` records on `threads` threads with the default
// settings (yx) or with a flush every 101 records (spdlog) into `dir`, then
// prints VmHWM before the logger was made and after it is gone, in KiB. The
// threads exist before the first figure, so that their stacks count on
// neither side. With `mapFirst`, the program's files are mapped before the
// first figure, so that only the memory the logger takes counts.
int MemoryChild(const std::string& kind, const std::string& dir, int threads, int records, bool mapFirst) {
  std::atomic<int> stage{0};  // 1: log, 2: logged, 3: end
  std::atomic<int> logged{0};
  std::function<void(int)> body;
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    const int count = records / threads + (t < records % threads ? 1 : 0);
    pool.emplace_back([&, count] {
      while (stage.load() != 1) std::this_thread::yield();
      body(count);
      logged.fetch_add(1);
      while (stage.load() != 3) std::this_thread::yield();
    });
  }
  if (mapFirst) MapProgramFiles();
  const long hwmBefore = StatusKib("VmHWM");
  std::string path;
  auto runThreads = [&] {
    stage.store(1);
    while (logged.load() != threads) std::this_thread::yield();
  };
  if (kind == "yx") {
    yx::TLog log(static_cast<uint32_t>(getpid()));
    const TYxFiles files(dir);
    OpenYx(&log, files, kDefaultSettings);
    body = [&](int count) {
      for (int i = 0; i < count; ++i) log.Log(kCategory, kYxFormat, kMode, 0u, i);
    };
    runThreads();
    log.Close();
    unlink(files.settings.c_str());
    path = files.log;
  } else if (kind == "spdlog") {
    path = dir + "/spdlog.log";
    std::shared_ptr<spdlog::logger> logger = OpenSpd(path);
    std::atomic<uint32_t> counter{0};
    body = [&](int count) {
      for (int i = 0; i < count; ++i) {
        logger->info(kSpdFormat, kMode, 0u, i);
        if ((counter.fetch_add(1, std::memory_order_relaxed) + 1) % kBatchRecords == 0) logger->flush();
      }
    };
    runThreads();
    logger->flush();
    CloseSpd(&logger);
  } else {
    Fail("unknown memory run", kind);
  }
  const long hwmAfter = StatusKib("VmHWM");
  stage.store(3);
  for (std::thread& th : pool) th.join();
  if (CountFileLines(path) != size_t(records)) Fail("memory run", "records missing in " + path);
  unlink(path.c_str());
  std::printf("%ld %ld\n", hwmBefore, hwmAfter);
  return 0;
}

// Runs this program as a memory child; returns the growth of its VmHWM, KiB.
long MeasureMemory(const char* kind, const std::string& dir, int threads, int records, bool mapFirst) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) Fail("pipe", std::strerror(errno));
  const std::string count = std::to_string(records);
  const std::string threadCount = std::to_string(threads);
  const pid_t child = fork();
  if (child < 0) Fail("fork", std::strerror(errno));
  if (child == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    const char* args[] = {"log_throughput",
                          "--memory-child",
                          kind,
                          dir.c_str(),
                          threadCount.c_str(),
                          count.c_str(),
                          mapFirst ? "private" : "whole",
                          nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(args));
    _exit(127);
  }
  close(pipeFds[1]);
  std::string output;
  char buffer[256];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, size_t(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  long before = 0;
  long after = 0;
  const int fields = std::sscanf(output.c_str(), "%ld %ld", &before, &after);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || fields != 2) Fail("memory child failed", kind);
  return after - before;
}

// ---------------------------------------------------------------------------
// Statistics and the table

// Figures of repeated runs: median, least and greatest.
struct TSeries {
  std::vector<double> values;
  void Add(double value) { values.push_back(value); }
  void AddRate(int records, double seconds) { values.push_back(double(records) / seconds); }
  double At(double q) const {
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
  }
  double Median() const { return At(0.5); }
  double Min() const { return At(0); }
  double Max() const { return At(1); }
};

// Rates in thousands of records per second.
std::string RateCell(const TSeries& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0fk [%.0fk-%.0fk]", r.Median() / 1e3, r.Min() / 1e3, r.Max() / 1e3);
  return text;
}

std::string PlainCell(const TSeries& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f [%.0f-%.0f]", r.Median(), r.Min(), r.Max());
  return text;
}

// The ratios a/b of the runs made side by side (run i of both), as median
// [min-max]: paired runs share the moment's load of a busy machine, so their
// ratio varies less than either figure.
TSeries PairedRatios(const TSeries& a, const TSeries& b) {
  TSeries ratios;
  for (size_t i = 0; i < a.values.size() && i < b.values.size(); ++i) {
    ratios.Add(b.values[i] != 0 ? a.values[i] / b.values[i] : 0);
  }
  return ratios;
}

std::string RatioCell(const TSeries& ratios) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f [%.2f-%.2f]", ratios.Median(), ratios.Min(), ratios.Max());
  return text;
}

void Row(const std::string& name, const std::string& yx, const std::string& baseline,
         const std::string& against, const std::string& ratio, const std::string& target) {
  std::printf("%-28s %-22s %-22s %-30s %-20s %s\n", name.c_str(), yx.c_str(), baseline.c_str(),
              against.c_str(), ratio.c_str(), target.c_str());
}

// "ok" or "MISSED" against a target for the median ratio (at least `floor`
// when higher is better, at most `ceiling` when lower is better).
std::string Target(const TSeries& ratios, double bound, bool higherIsBetter) {
  char text[32];
  const bool met = higherIsBetter ? ratios.Median() >= bound : ratios.Median() <= bound;
  std::snprintf(text, sizeof text, "%s %.2f %s", higherIsBetter ? ">=" : "<=", bound, met ? "ok" : "MISSED");
  return text;
}

std::string LoadAverage() {
  std::string text = ReadFile("/proc/loadavg");
  const size_t end = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
  return end == std::string::npos ? text : text.substr(0, end);
}

struct TOptions {
  int records = 200000;
  int latencyRecords = 200000;
  int memoryRecords = 200000;
  int repeat = 5;
  std::string shmParent = "/dev/shm";
  std::string diskParent = "/var/tmp";
  // "yx" or "spdlog": only that logger's one-thread case in memory, once,
  // for a profiler.
  std::string only;
};

std::string MakeDir(const std::string& parent) {
  std::string pattern = parent + "/yxbench.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp", parent + ": " + std::strerror(errno));
  return pattern;
}

// The throughput figures of one directory, by thread count.
struct TPlaceRates {
  TSeries yx[3];
  TSeries spd[3];      // spdlog, flush per 101
  TSeries spdSync[3];  // spdlog, flush and fsync per 101
  TSeries limit;       // write+fsync loop
};

// Checks a log file's record count and, the first time, that its layout is
// the yx logger's; returns the file's first line.
std::string CheckLog(const char* who, const std::string& path, int records, const std::string& yxLine) {
  const std::string text = ReadFile(path);
  if (CountLines(text) != size_t(records)) {
    Fail("log incomplete",
         std::string(who) + " " + path + ": " + std::to_string(CountLines(text)) + " lines");
  }
  const std::string line = FirstLine(text);
  if (!yxLine.empty() && Layout(yxLine) != Layout(line)) {
    Fail("line layouts differ", "\n  yx:     " + yxLine + "  " + who + ": " + line);
  }
  unlink(path.c_str());
  return line;
}

// One run of every throughput case of one directory, in turn: yx, spdlog
// and spdlog with fsync, 1 and 2 threads, then the write+fsync loop with the
// yx logger's lines.
void RunPlace(const std::string& dir, const TOptions& o, TPlaceRates* rates) {
  const TYxFiles files(dir);
  const std::string spdPath = dir + "/spdlog.log";
  const std::string limitPath = dir + "/limit.log";
  std::string yxLine;
  for (int threads = 1; threads <= 2; ++threads) {
    rates->yx[threads].AddRate(o.records, TimeYx(files, threads, o.records));
    yxLine = CheckLog("yx", files.log, o.records, "");
    rates->spd[threads].AddRate(o.records, TimeSpd(spdPath, threads, o.records, false));
    CheckLog("spdlog", spdPath, o.records, yxLine);
    rates->spdSync[threads].AddRate(o.records, TimeSpd(spdPath, threads, o.records, true));
    CheckLog("spdlog+fsync", spdPath, o.records, yxLine);
  }
  rates->limit.AddRate(o.records, TimeWriteFsync(limitPath, yxLine, o.records));
  unlink(limitPath.c_str());
  unlink(files.settings.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && std::strcmp(argv[1], "--memory-child") == 0) {
    return MemoryChild(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]),
                       std::strcmp(argv[6], "private") == 0);
  }

  // --quick (or YX_BENCH_QUICK) sets small counts first; explicit options
  // given with it still apply.
  TOptions o;
  const char* quickEnv = std::getenv("YX_BENCH_QUICK");
  bool quick = quickEnv != nullptr && std::strcmp(quickEnv, "0") != 0 && *quickEnv != '\0';
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) quick = true;
  }
  if (quick) {
    o.records = o.latencyRecords = o.memoryRecords = 20000;
    o.repeat = 1;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Fail("missing value of", arg);
      return argv[++i];
    };
    if (arg == "--quick") {
      // applied above
    } else if (arg == "--records") {
      o.records = o.latencyRecords = o.memoryRecords = std::atoi(value());
    } else if (arg == "--repeat") {
      o.repeat = std::atoi(value());
    } else if (arg == "--shm-dir") {
      o.shmParent = value();
    } else if (arg == "--disk-dir") {
      o.diskParent = value();
    } else if (arg == "--only") {
      o.only = value();
    } else {
      std::fprintf(
          stderr,
          "usage: log_throughput [--quick] [--records N] [--repeat N] [--shm-dir DIR] [--disk-dir DIR]\n"
          "                      [--only yx|spdlog]\n");
      return 1;
    }
  }
  if (o.records < kBatchRecords || o.repeat < 1) Fail("bad options", "records >= 101 and repeat >= 1");

  const std::string shmDir = MakeDir(o.shmParent);
  if (!o.only.empty()) {
    const double seconds = o.only == "yx" ? TimeYx(TYxFiles(shmDir), 1, o.records)
                                          : TimeSpd(shmDir + "/spdlog.log", 1, o.records, false);
    std::printf("%s: %d records in %.3f s, %.0f rec/s\n", o.only.c_str(), o.records, seconds,
                o.records / seconds);
    unlink((shmDir + "/yxbench.log").c_str());
    unlink((shmDir + "/yxbench.wli").c_str());
    unlink((shmDir + "/spdlog.log").c_str());
    rmdir(shmDir.c_str());
    return 0;
  }
  const std::string diskDir = MakeDir(o.diskParent);
  if (IsMemoryFileSystem(diskDir)) std::fprintf(stderr, "warning: %s is not on a disk\n", diskDir.c_str());
  const std::string loadAtStart = LoadAverage();

  // Warm-up: time zone, tables, code paths.
  TimeYx(TYxFiles(shmDir), 1, 2000);
  CheckLog("yx", TYxFiles(shmDir).log, 2000, "");
  TimeSpd(shmDir + "/spdlog.log", 1, 2000, false);

  // Every run takes each case once, in turn.
  TPlaceRates shm;
  TPlaceRates disk;
  TSeries memoryYx[2][3];  // [program files mapped first][threads]
  TSeries memorySpd[2][3];
  TSeries latencyYx[4];  // p50, p99 while only queuing; p50, p99 of the steady state
  TSeries latencySpd[4];
  TSeries latencyClock[2];
  for (int run = 0; run < o.repeat; ++run) {
    for (int threads = 1; threads <= 2; ++threads) {
      for (int mapFirst = 0; mapFirst <= 1; ++mapFirst) {
        memoryYx[mapFirst][threads].Add(
            double(MeasureMemory("yx", shmDir, threads, o.memoryRecords, mapFirst)));
        memorySpd[mapFirst][threads].Add(
            double(MeasureMemory("spdlog", shmDir, threads, o.memoryRecords, mapFirst)));
      }
    }
    RunPlace(shmDir, o, &shm);
    RunPlace(diskDir, o, &disk);
    const TPercentiles clock = ClockLatency(o.latencyRecords);
    const TPercentiles yx = YxLatency(TYxFiles(shmDir), o.latencyRecords);
    const TPercentiles spd = SpdLatency(shmDir + "/spdlog.log", o.latencyRecords);
    latencyYx[0].Add(yx.p50);
    latencyYx[1].Add(yx.p99);
    latencySpd[0].Add(spd.p50);
    latencySpd[1].Add(spd.p99);
    latencyClock[0].Add(clock.p50);
    latencyClock[1].Add(clock.p99);
    const TPercentiles yxSteady = YxSteadyLatency(TYxFiles(shmDir), o.latencyRecords);
    const TPercentiles spdSteady = SpdSteadyLatency(shmDir + "/spdlog.log", o.latencyRecords);
    latencyYx[2].Add(yxSteady.p50);
    latencyYx[3].Add(yxSteady.p99);
    latencySpd[2].Add(spdSteady.p50);
    latencySpd[3].Add(spdSteady.p99);
  }

  unlink((shmDir + "/yxbench.log").c_str());
  unlink((shmDir + "/yxbench.wli").c_str());
  unlink((shmDir + "/spdlog.log").c_str());
  rmdir(shmDir.c_str());
  rmdir(diskDir.c_str());

  std::printf("log_throughput: %d records per run, %d runs per case (median [min-max]); memory: %d records\n",
              o.records, o.repeat, o.memoryRecords);
  std::printf("load average (1, 5, 15 min): %s at the start, %s at the end\n", loadAtStart.c_str(),
              LoadAverage().c_str());
  std::printf("shm: %s (%s); disk: %s (%s)\n", shmDir.c_str(), FileSystemName(o.shmParent).c_str(),
              diskDir.c_str(), FileSystemName(o.diskParent).c_str());
  std::printf(
      "ratio: yx/baseline for throughput (higher is better) and latency (lower is better); baseline/yx for\n"
      "memory (higher is better); each the median [min-max] of the ratios of runs made side by side\n\n");
  Row("case", "yx", "baseline", "baseline is", "ratio", "target");
  Row("----", "--", "--------", "-----------", "-----", "------");
  const struct {
    const char* name;
    const TPlaceRates* rates;
    bool disk;
  } places[] = {{"shm", &shm, false}, {"disk", &disk, true}};
  for (const auto& place : places) {
    for (int threads = 1; threads <= 2; ++threads) {
      const std::string name = std::string(place.name) + ", " + std::to_string(threads) + " thread" +
                               (threads > 1 ? "s" : "") + ", rec/s";
      const TSeries& yxRates = place.rates->yx[threads];
      const TSeries spdRatios = PairedRatios(yxRates, place.rates->spd[threads]);
      const TSeries syncRatios = PairedRatios(yxRates, place.rates->spdSync[threads]);
      const TSeries limitRatios = PairedRatios(yxRates, place.rates->limit);
      Row(name, RateCell(yxRates), RateCell(place.rates->spd[threads]), "spdlog, flush per 101",
          RatioCell(spdRatios), "");
      Row("", "", RateCell(place.rates->spdSync[threads]), "spdlog, flush+fsync per 101",
          RatioCell(syncRatios), place.disk ? Target(syncRatios, 1.0, true) : "");
      Row("", "", RateCell(place.rates->limit), "write+fsync loop, 101 lines", RatioCell(limitRatios),
          place.disk ? Target(limitRatios, threads == 1 ? 0.8 : 0.85, true) : "");
    }
  }
  const char* percentile[] = {"p50", "p99", "p50", "p99"};
  for (int p = 0; p < 4; ++p) {
    const TSeries ratios = PairedRatios(latencyYx[p], latencySpd[p]);
    Row(std::string("Log latency ") + percentile[p] + ", ns", PlainCell(latencyYx[p]),
        PlainCell(latencySpd[p]), p < 2 ? "info, no flush, only queuing" : "info, steady, flush per 101",
        RatioCell(ratios), Target(ratios, 1.0, false));
  }
  Row("  (clock pair p50/p99, ns)", PlainCell(latencyClock[0]), PlainCell(latencyClock[1]),
      "the timing's own cost", "", "");
  for (int mapFirst = 0; mapFirst <= 1; ++mapFirst) {
    for (int threads = 1; threads <= 2; ++threads) {
      const TSeries ratios = PairedRatios(memorySpd[mapFirst][threads], memoryYx[mapFirst][threads]);
      Row(std::string(mapFirst ? "  code pre-mapped, " : "VmHWM growth, KiB, ") + std::to_string(threads) +
              (threads > 1 ? " threads" : " thread"),
          PlainCell(memoryYx[mapFirst][threads]), PlainCell(memorySpd[mapFirst][threads]),
          "spdlog, flush per 101, shm", RatioCell(ratios), Target(ratios, 1.2, true));
    }
  }
  return 0;
}

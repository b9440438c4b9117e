// Throughput, call latency and memory of the logger, each against a baseline
// measured in the same run, printed as one table of ratios.
//
// - Records per second from TLog::Log to the log file with the default
//   settings and the event list "AP=" (a batch of 101 records written and
//   flushed to disk whenever more than 100 wait), with 1 and 2 logging
//   threads. Baselines: spdlog's basic_logger_mt writing the same line layout
//   (category, "dd.MM.yyyy HH:mm:ss.iii", Pid=%#06x, Tid=%#06x, message,
//   CRLF) with a flush every 101 records; and a plain loop that writes the
//   same 101-line batches with write() and fsync() each batch, the limit of
//   the file system. Both on /dev/shm (memory) and in a directory on a disk.
//   A timed run covers every Log call and the final Close (or flush), and
//   each log file is checked to hold every record.
// - Log call latency (percentiles of single calls timed with steady_clock)
//   while no flush is due: flush lines and seconds so large that records
//   only queue. Baseline: spdlog's info call without a flush.
// - Peak resident memory of a child process that logs 1,000,000 records with
//   the default flush lines: its ru_maxrss, and the growth of its VmHWM from
//   before the logger was made (ru_maxrss keeps the peak of the image that
//   called exec, VmHWM does not); the same for spdlog, and a child that logs
//   nothing.
//
// Every timed case runs --repeat times, yx and its baselines in turn; the
// table gives each rate's median and range, and the median and range of the
// ratios of runs made side by side.
//
// Run: build/linux/bench/log_throughput [--quick] [--records N] [--repeat N]
//        [--shm-dir DIR] [--disk-dir DIR] [--only yx|spdlog]
// --quick (or YX_BENCH_QUICK=1 in the environment) is a smoke run with small
// counts; --only runs just that logger's one-thread case in memory, once,
// for a profiler. The disk directory defaults to /tmp, the program warns
// when it is not on a disk.

#include <fcntl.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <sys/resource.h>
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

// "Pid=%#06x" of the process, "Tid=%#06x" of the record's thread.
class TPidFlag : public spdlog::custom_flag_formatter {
 public:
  void format(const spdlog::details::log_msg&, const std::tm&, spdlog::memory_buf_t& dest) override {
    fmt::format_to(std::back_inserter(dest), "Pid={:#06x}", unsigned(getpid()));
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
// 101st record, and the final flush.
double TimeSpd(const std::string& path, int threads, int records) {
  std::shared_ptr<spdlog::logger> logger = OpenSpd(path);
  std::atomic<uint32_t> logged{0};
  const TClock::time_point start = TClock::now();
  RunThreads(threads, records, [&](int, int count) {
    for (int i = 0; i < count; ++i) {
      logger->info(kSpdFormat, kMode, 0u, i);
      if ((logged.fetch_add(1, std::memory_order_relaxed) + 1) % kBatchRecords == 0) logger->flush();
    }
  });
  logger->flush();
  const double seconds = Seconds(TClock::now() - start);
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
  return seconds;
}

// ---------------------------------------------------------------------------
// Latency

struct TPercentiles {
  double p50 = 0;
  double p99 = 0;
  double p999 = 0;
};

TPercentiles Percentiles(std::vector<int64_t>* ns) {
  std::sort(ns->begin(), ns->end());
  auto at = [&](double q) { return double((*ns)[std::min(ns->size() - 1, size_t(q * double(ns->size())))]); };
  return {at(0.50), at(0.99), at(0.999)};
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

long MaxRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The child: logs `records` records with the default settings (yx) or with a
// flush every 101 records (spdlog) into `dir`, then prints ru_maxrss and
// VmHWM before and after, in KiB.
int RssChild(const std::string& kind, const std::string& dir, int records) {
  const long rssBefore = MaxRssKib();
  const long hwmBefore = StatusKib("VmHWM");
  std::string path;
  if (kind == "yx") {
    yx::TLog log(static_cast<uint32_t>(getpid()));
    const TYxFiles files(dir);
    OpenYx(&log, files, kDefaultSettings);
    for (int i = 0; i < records; ++i) log.Log(kCategory, kYxFormat, kMode, 0u, i);
    log.Close();
    unlink(files.settings.c_str());
    path = files.log;
  } else if (kind == "spdlog") {
    path = dir + "/spdlog.log";
    std::shared_ptr<spdlog::logger> logger = OpenSpd(path);
    for (int i = 0; i < records; ++i) {
      logger->info(kSpdFormat, kMode, 0u, i);
      if ((i + 1) % kBatchRecords == 0) logger->flush();
    }
    logger->flush();
    CloseSpd(&logger);
  } else if (kind != "none") {
    Fail("unknown memory run", kind);
  }
  const long rssAfter = MaxRssKib();
  const long hwmAfter = StatusKib("VmHWM");
  if (!path.empty()) {
    if (CountFileLines(path) != size_t(records)) Fail("memory run", "records missing in " + path);
    unlink(path.c_str());
  }
  std::printf("%ld %ld %ld %ld\n", rssBefore, rssAfter, hwmBefore, hwmAfter);
  return 0;
}

struct TMemory {
  long rssBefore = 0;  // ru_maxrss, KiB
  long rssAfter = 0;
  long hwmBefore = 0;  // VmHWM, KiB
  long hwmAfter = 0;
  long Growth() const { return hwmAfter - hwmBefore; }
};

// Runs this program as a memory child and reads its figures.
TMemory MeasureMemory(const char* kind, const std::string& dir, int records) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) Fail("pipe", std::strerror(errno));
  const std::string count = std::to_string(records);
  const pid_t child = fork();
  if (child < 0) Fail("fork", std::strerror(errno));
  if (child == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    const char* args[] = {"log_throughput", "--memory-child", kind, dir.c_str(), count.c_str(), nullptr};
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
  TMemory m;
  const int fields =
      std::sscanf(output.c_str(), "%ld %ld %ld %ld", &m.rssBefore, &m.rssAfter, &m.hwmBefore, &m.hwmAfter);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || fields != 4) Fail("memory child failed", kind);
  return m;
}

// ---------------------------------------------------------------------------
// Statistics and the table

// Median, least and greatest of the runs' rates (records per second).
struct TRates {
  std::vector<double> values;
  void Add(int records, double seconds) { values.push_back(double(records) / seconds); }
  double At(double q) const {
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
  }
  double Median() const { return At(0.5); }
  double Min() const { return At(0); }
  double Max() const { return At(1); }
};

std::string RateCell(const TRates& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0fk [%.0fk-%.0fk]", r.Median() / 1e3, r.Min() / 1e3, r.Max() / 1e3);
  return text;
}

// The ratios yx/baseline of the runs made side by side (run i of both), as
// median [min-max]: paired runs share the moment's load of a busy machine,
// so their ratio varies less than either rate.
std::string PairedRatioCell(const TRates& yx, const TRates& baseline) {
  TRates ratios;
  for (size_t i = 0; i < yx.values.size() && i < baseline.values.size(); ++i) {
    ratios.values.push_back(yx.values[i] / baseline.values[i]);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.2f [%.2f-%.2f]", ratios.Median(), ratios.Min(), ratios.Max());
  return text;
}

std::string RatioCell(double ratio) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", ratio);
  return text;
}

void Row(const std::string& name, const std::string& yx, const std::string& baseline,
         const std::string& against, const std::string& ratio) {
  std::printf("%-30s %-24s %-24s %-28s %s\n", name.c_str(), yx.c_str(), baseline.c_str(), against.c_str(),
              ratio.c_str());
}

struct TOptions {
  int records = 200000;
  int latencyRecords = 200000;
  int memoryRecords = 1000000;
  int repeat = 3;
  std::string shmParent = "/dev/shm";
  std::string diskParent = "/tmp";
  // "yx" or "spdlog": only that logger's one-thread case in memory, once,
  // for a profiler.
  std::string only;
};

std::string MakeDir(const std::string& parent) {
  std::string pattern = parent + "/yxbench.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp", parent + ": " + std::strerror(errno));
  return pattern;
}

// The throughput figures of one directory; yx and spdlog by thread count.
struct TPlaceRates {
  TRates yx[3];
  TRates spd[3];
  TRates limit;
};

// Throughput cases of one directory, every run in turn: yx and spdlog with
// 1 and 2 threads, then the write+fsync limit with lines of the yx logger's
// (so that a slow moment of a shared machine hits all of them alike).
TPlaceRates MeasurePlace(const std::string& dir, const TOptions& o) {
  TPlaceRates rates;
  const TYxFiles files(dir);
  const std::string spdPath = dir + "/spdlog.log";
  const std::string limitPath = dir + "/limit.log";
  std::string yxLine;
  for (int run = 0; run < o.repeat; ++run) {
    for (int threads = 1; threads <= 2; ++threads) {
      rates.yx[threads].Add(o.records, TimeYx(files, threads, o.records));
      const std::string yxText = ReadFile(files.log);
      if (CountLines(yxText) != size_t(o.records)) {
        Fail("yx log incomplete", files.log + ": " + std::to_string(CountLines(yxText)) + " lines");
      }
      rates.spd[threads].Add(o.records, TimeSpd(spdPath, threads, o.records));
      const std::string spdText = ReadFile(spdPath);
      if (CountLines(spdText) != size_t(o.records)) Fail("spdlog log incomplete", spdPath);
      if (threads == 1 && run == 0) {
        // Same layout, byte for byte apart from the numbers.
        yxLine = FirstLine(yxText);
        const std::string spdLine = FirstLine(spdText);
        if (Layout(yxLine) != Layout(spdLine)) {
          Fail("line layouts differ", "\n  yx:     " + yxLine + "  spdlog: " + spdLine);
        }
        if (yxText.size() != spdText.size()) {
          std::fprintf(stderr, "warning: log sizes differ: yx %zu, spdlog %zu bytes\n", yxText.size(),
                       spdText.size());
        }
      }
      unlink(files.log.c_str());
      unlink(spdPath.c_str());
    }
    rates.limit.Add(o.records, TimeWriteFsync(limitPath, yxLine, o.records));
    unlink(limitPath.c_str());
  }
  unlink(files.settings.c_str());
  return rates;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--memory-child") == 0) {
    return RssChild(argv[2], argv[3], std::atoi(argv[4]));
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
    o.records = o.latencyRecords = 20000;
    o.memoryRecords = 100000;
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
      o.records = o.latencyRecords = std::atoi(value());
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
                                          : TimeSpd(shmDir + "/spdlog.log", 1, o.records);
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

  // The memory children first, while this process is small.
  const TMemory memoryNone = MeasureMemory("none", shmDir, 0);
  const TMemory memoryYx = MeasureMemory("yx", shmDir, o.memoryRecords);
  const TMemory memorySpd = MeasureMemory("spdlog", shmDir, o.memoryRecords);

  // Warm-up: time zone, tables, code paths.
  TimeYx(TYxFiles(shmDir), 1, 2000);
  TimeSpd(shmDir + "/spdlog.log", 1, 2000);

  const TPlaceRates shm = MeasurePlace(shmDir, o);
  const TPlaceRates disk = MeasurePlace(diskDir, o);

  const TPercentiles clock = ClockLatency(o.latencyRecords);
  const TPercentiles yxLatency = YxLatency(TYxFiles(shmDir), o.latencyRecords);
  const TPercentiles spdLatency = SpdLatency(shmDir + "/spdlog.log", o.latencyRecords);

  unlink((shmDir + "/yxbench.log").c_str());
  unlink((shmDir + "/yxbench.wli").c_str());
  unlink((shmDir + "/spdlog.log").c_str());
  rmdir(shmDir.c_str());
  rmdir(diskDir.c_str());

  std::printf("log_throughput: %d records per run, %d runs per case (median [min-max]); memory: %d records\n",
              o.records, o.repeat, o.memoryRecords);
  std::printf("shm: %s (%s); disk: %s (%s); write+fsync limit in shm: %.0fk rec/s\n", shmDir.c_str(),
              FileSystemName(o.shmParent).c_str(), diskDir.c_str(), FileSystemName(o.diskParent).c_str(),
              shm.limit.Median() / 1e3);
  std::printf(
      "ratio yx/baseline: throughput, median [min-max] of the side-by-side runs (higher is better);\n"
      "latency and memory (lower is better)\n\n");
  Row("case", "yx", "baseline", "baseline is", "ratio yx/baseline");
  Row("----", "--", "--------", "-----------", "-----------------");
  const struct {
    const char* name;
    const TPlaceRates* rates;
    bool limit;
  } places[] = {{"shm", &shm, false}, {"disk", &disk, true}};
  for (const auto& place : places) {
    for (int threads = 1; threads <= 2; ++threads) {
      const std::string name = std::string(place.name) + ", " + std::to_string(threads) + " thread" +
                               (threads > 1 ? "s" : "") + ", rec/s";
      const TRates& yxRates = place.rates->yx[threads];
      const TRates& spdRates = place.rates->spd[threads];
      Row(name, RateCell(yxRates), RateCell(spdRates), "spdlog, flush per 101",
          PairedRatioCell(yxRates, spdRates));
      if (place.limit) {
        Row("", "", RateCell(place.rates->limit), "write+fsync per 101 lines",
            PairedRatioCell(yxRates, place.rates->limit));
      }
    }
  }
  const struct {
    const char* name;
    double yx, spd, clock;
  } latencies[] = {{"Log latency p50, ns", yxLatency.p50, spdLatency.p50, clock.p50},
                   {"Log latency p99, ns", yxLatency.p99, spdLatency.p99, clock.p99},
                   {"Log latency p99.9, ns", yxLatency.p999, spdLatency.p999, clock.p999}};
  for (const auto& l : latencies) {
    Row(l.name, std::to_string(long(l.yx)), std::to_string(long(l.spd)), "spdlog info, no flush",
        RatioCell(l.yx / l.spd));
  }
  Row("  (clock pair, ns)",
      std::to_string(long(clock.p50)) + "/" + std::to_string(long(clock.p99)) + "/" +
          std::to_string(long(clock.p999)),
      "", "p50/p99/p99.9 of timing", "");
  Row("peak RSS, KiB (ru_maxrss)", std::to_string(memoryYx.rssAfter), std::to_string(memorySpd.rssAfter),
      "spdlog, flush per 101", RatioCell(double(memoryYx.rssAfter) / double(memorySpd.rssAfter)));
  Row("peak RSS growth, KiB (VmHWM)", std::to_string(memoryYx.Growth()), std::to_string(memorySpd.Growth()),
      "spdlog, flush per 101", "");
  Row("  (empty child, KiB)",
      std::to_string(memoryNone.rssAfter) + " / " + std::to_string(memoryNone.hwmAfter), "",
      "ru_maxrss / VmHWM, no logger", "");
  return 0;
}

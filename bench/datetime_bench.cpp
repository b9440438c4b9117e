// Benchmarks of the date-time value against the C library.
//
// Each case is a pair that does the same work, run in alternating rounds
// (yx, C library, yx, C library, ...) so that both sides see the same load:
// - Format<Pattern>_1s: the text of one value per call, the value a new
//   second on every call. TDateTime::Format against localtime_r + strftime +
//   snprintf (the milliseconds) into a std::string; both sides start from
//   one number per value (a TDateTime, or seconds and milliseconds since
//   1970) and produce the same text, which main checks for every value
//   before anything is timed.
// - Format<Pattern>_1ms: the same with values 1 ms apart (1000 values in
//   one second, as the records of a busy log).
// - SetNow: TDateTime::SetNow against clock_gettime + localtime_r.
//
// The program ends with one row per case: the median and the range of the
// ratio yx/C library over the rounds (each round's ratio from that round's
// two runs), and the median times per call. The local time zone is the
// process's (TZ); it is printed with the table.
//
// Run: build/linux/bench/datetime_bench [--rounds=N] [benchmark options]

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "DateTime.h"

namespace {

// The values a Format case walks through, cyclically: enough of them that
// the 1 s step crosses midnight (the date changes too), few enough to stay
// in the cache.
constexpr int kValueCount = 1 << 17;

// The first value: 2026-03-05 12:34:56.000 UTC, as seconds since 1970.
constexpr int64_t kFirstSecond = 1772714096;

struct TEpochValue {
  time_t second;
  int millisecond;
};

struct TValues {
  std::vector<yx::TDateTime> yx;
  std::vector<TEpochValue> std;
};

// kValueCount values `stepMs` apart on both sides; the TDateTime holds the
// local time that localtime_r gives.
TValues MakeValues(int stepMs) {
  TValues values;
  values.yx.reserve(kValueCount);
  values.std.reserve(kValueCount);
  for (int i = 0; i < kValueCount; ++i) {
    const int64_t ms = int64_t(i) * stepMs;
    const TEpochValue v{time_t(kFirstSecond + ms / 1000), int(ms % 1000)};
    tm f{};
    localtime_r(&v.second, &f);
    yx::TDateTime value;
    if (value.Set(int16_t(f.tm_year + 1900), f.tm_mon + 1, int8_t(f.tm_mday), int8_t(f.tm_hour),
                  int8_t(f.tm_min), int8_t(f.tm_sec > 59 ? 59 : f.tm_sec), int16_t(v.millisecond)) != 0) {
      std::fprintf(stderr, "TDateTime::Set refused value %d\n", i);
      std::abort();
    }
    values.yx.push_back(value);
    values.std.push_back(v);
  }
  return values;
}

// A TDateTime picture, the strftime format giving the same text up to the
// milliseconds, and the snprintf format that appends them.
struct TPattern {
  const char* picture;
  const char* strftimeFormat;
  const char* msFormat;
};

// The log records' time stamp and the new-file name's stamp.
constexpr TPattern kRecordPattern = {"dd.MM.yyyy HH:mm:ss.ii", "%d.%m.%Y %H:%M:%S", ".%03d"};
constexpr TPattern kFileNamePattern = {"yyyyMMdd-HHmmssii", "%Y%m%d-%H%M%S", "%03d"};

std::string StdFormat(const TEpochValue& v, const TPattern& pattern) {
  tm f{};
  localtime_r(&v.second, &f);
  char text[64];
  const size_t n = std::strftime(text, sizeof text, pattern.strftimeFormat, &f);
  const int m = std::snprintf(text + n, sizeof text - n, pattern.msFormat, v.millisecond);
  return std::string(text, n + size_t(m));
}

void CheckSameText(const TValues& values, const TPattern& pattern) {
  for (size_t i = 0; i < values.yx.size(); ++i) {
    const yx::BStr yxText = values.yx[i].Format(pattern.picture, yx::kLocaleUserDefault);
    const std::string stdText = StdFormat(values.std[i], pattern);
    if (stdText != yxText.CStr()) {
      std::fprintf(stderr, "Format(\"%s\") differs at value %zu: yx \"%s\", C library \"%s\"\n",
                   pattern.picture, i, yxText.CStr(), stdText.c_str());
      std::abort();
    }
  }
}

void YxFormat(benchmark::State& state, const TValues* values, TPattern pattern) {
  size_t i = 0;
  for (auto _ : state) {
    yx::BStr text = values->yx[i].Format(pattern.picture, yx::kLocaleUserDefault);
    benchmark::DoNotOptimize(text.CStr());
    if (++i == values->yx.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void StdFormatCase(benchmark::State& state, const TValues* values, TPattern pattern) {
  size_t i = 0;
  for (auto _ : state) {
    std::string text = StdFormat(values->std[i], pattern);
    benchmark::DoNotOptimize(text.data());
    if (++i == values->std.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void YxSetNow(benchmark::State& state) {
  yx::TDateTime value;
  for (auto _ : state) {
    benchmark::DoNotOptimize(value.SetNow());
    benchmark::DoNotOptimize(value.Value());
  }
  state.SetItemsProcessed(state.iterations());
}

void StdSetNow(benchmark::State& state) {
  tm local{};
  for (auto _ : state) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const time_t seconds = ts.tv_sec;
    localtime_r(&seconds, &local);
    benchmark::DoNotOptimize(local);
    benchmark::DoNotOptimize(ts.tv_nsec);
  }
  state.SetItemsProcessed(state.iterations());
}

// Collects each run's CPU time per call by case and side ("<case>/yx",
// "<case>/std", one entry per round).
class TRoundReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto rate = run.counters.find("items_per_second");
      if (rate == run.counters.end() || rate->second.value <= 0) continue;
      std::string name = run.benchmark_name();
      name = name.substr(0, name.find('#'));
      times_[name].push_back(1e9 / rate->second.value);
    }
  }

  void PrintRatios(const std::vector<std::string>& cases) {
    const char* tz = std::getenv("TZ");
    std::printf("\nratio yx/C library per round (TZ=%s)\n", tz != nullptr ? tz : "");
    std::printf("%-18s %7s %15s %10s %10s %7s\n", "case", "median", "range", "yx ns", "C ns", "rounds");
    for (const std::string& c : cases) {
      std::vector<double>& yx = times_["yx/" + c];
      std::vector<double>& base = times_["std/" + c];
      const size_t rounds = std::min(yx.size(), base.size());
      if (rounds == 0) continue;
      std::vector<double> ratios;
      for (size_t r = 0; r < rounds; ++r) ratios.push_back(yx[r] / base[r]);
      std::printf("%-18s %7.2f %7.2f-%-7.2f %10.1f %10.1f %7zu\n", c.c_str(), Median(ratios),
                  *std::min_element(ratios.begin(), ratios.end()),
                  *std::max_element(ratios.begin(), ratios.end()), Median(yx), Median(base), rounds);
    }
  }

 private:
  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 != 0 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  std::map<std::string, std::vector<double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
      rounds = std::max(1, std::atoi(argv[i] + 9));
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      --i;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tzset();
  static const TValues byMs = MakeValues(1);
  static const TValues bySecond = MakeValues(1000);
  // Both sides must give the same text before their times mean anything.
  for (const TValues* values : {&byMs, &bySecond}) {
    CheckSameText(*values, kRecordPattern);
    CheckSameText(*values, kFileNamePattern);
  }
  struct TCase {
    std::string name;
    std::function<void(benchmark::State&)> yx, std;
  };
  const std::vector<TCase> cases = {
      {"FormatRecord_1s", [](benchmark::State& s) { YxFormat(s, &bySecond, kRecordPattern); },
       [](benchmark::State& s) { StdFormatCase(s, &bySecond, kRecordPattern); }},
      {"FormatFileName_1s", [](benchmark::State& s) { YxFormat(s, &bySecond, kFileNamePattern); },
       [](benchmark::State& s) { StdFormatCase(s, &bySecond, kFileNamePattern); }},
      {"FormatRecord_1ms", [](benchmark::State& s) { YxFormat(s, &byMs, kRecordPattern); },
       [](benchmark::State& s) { StdFormatCase(s, &byMs, kRecordPattern); }},
      {"SetNow", YxSetNow, StdSetNow},
  };
  std::vector<std::string> names;
  for (int r = 0; r < rounds; ++r) {
    for (const TCase& c : cases) {
      const std::string round = "#" + std::to_string(r);
      benchmark::RegisterBenchmark(("yx/" + c.name + round).c_str(), c.yx);
      benchmark::RegisterBenchmark(("std/" + c.name + round).c_str(), c.std);
      if (r == 0) names.push_back(c.name);
    }
  }
  TRoundReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(names);
  benchmark::Shutdown();
  return 0;
}

// Benchmarks of the date-time library against the C library.
//
// Every case comes in a pair that does the same work: BM_Yx<Case> with
// TDateTime and BM_Std<Case> with the C library.
//
// - Format<Pattern>/<Step>: the text of one value per iteration, the value
//   advancing by `Step` from one iteration to the next. TDateTime::Format
//   against gmtime_r + strftime + snprintf (the milliseconds) into a
//   std::string; both sides start from one number per value (a TDateTime, or
//   seconds and milliseconds since 1970) and produce the same text, which
//   main checks for every value before anything is timed. A step of 1 ms
//   keeps one second for 1000 values, as the records of a busy log do; a
//   step of 1 s gives a new second every time.
// - SetNow: TDateTime::SetNow against clock_gettime(CLOCK_REALTIME) +
//   localtime_r.
//
// After the runs the program prints one row per pair with the CPU time per
// operation of both and their ratio (yx/std).
//
// Run: build/linux/bench/datetime_bench [--benchmark_filter=REGEX] [...]

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "DateTime.h"
#include "RatioReporter.h"

namespace {

// ---------------------------------------------------------------------------
// Inputs shared by both sides of a pair

// The values a Format case walks through, cyclically: enough of them that
// the 1 s step crosses midnight (the date changes too), few enough to stay
// in the cache.
constexpr int kValueCount = 1 << 16;

// The first value: 2026-03-05 12:34:56.000, as seconds since 1970 (UTC, the
// C library side does no time-zone work, as TDateTime holds local time
// already).
constexpr int64_t kFirstSecond = 1772714096;

// One value on the C library side.
struct TEpochValue {
  time_t second;
  int millisecond;
};

struct TValues {
  std::vector<yx::TDateTime> yx;
  std::vector<TEpochValue> std;
};

// kValueCount values `stepMs` apart, on both sides.
TValues MakeValues(int stepMs) {
  TValues values;
  values.yx.reserve(kValueCount);
  values.std.reserve(kValueCount);
  for (int i = 0; i < kValueCount; ++i) {
    const int64_t ms = int64_t(i) * stepMs;
    const TEpochValue v{time_t(kFirstSecond + ms / 1000), int(ms % 1000)};
    tm f{};
    gmtime_r(&v.second, &f);
    yx::TDateTime value;
    if (value.Set(int16_t(f.tm_year + 1900), f.tm_mon + 1, int8_t(f.tm_mday), int8_t(f.tm_hour),
                  int8_t(f.tm_min), int8_t(f.tm_sec), int16_t(v.millisecond)) != 0) {
      std::fprintf(stderr, "TDateTime::Set refused value %d\n", i);
      std::abort();
    }
    values.yx.push_back(value);
    values.std.push_back(v);
  }
  return values;
}

const TValues& ValuesByMs() {
  static const TValues values = MakeValues(1);
  return values;
}

const TValues& ValuesBySecond() {
  static const TValues values = MakeValues(1000);
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

// The C library side of Format: the fields of the value, strftime for the
// date and time, snprintf for the milliseconds, the text in a new string.
std::string StdFormat(const TEpochValue& v, const TPattern& pattern) {
  tm f{};
  gmtime_r(&v.second, &f);
  char text[64];
  const size_t n = std::strftime(text, sizeof text, pattern.strftimeFormat, &f);
  const int m = std::snprintf(text + n, sizeof text - n, pattern.msFormat, v.millisecond);
  return std::string(text, n + size_t(m));
}

// Aborts unless both sides give the same text for every value.
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

// ---------------------------------------------------------------------------
// Format

void YxFormatCase(benchmark::State& state, const TValues& values, const TPattern& pattern) {
  size_t i = 0;
  for (auto _ : state) {
    yx::BStr text = values.yx[i].Format(pattern.picture, yx::kLocaleUserDefault);
    benchmark::DoNotOptimize(text.CStr());
    if (++i == values.yx.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void StdFormatCase(benchmark::State& state, const TValues& values, const TPattern& pattern) {
  size_t i = 0;
  for (auto _ : state) {
    std::string text = StdFormat(values.std[i], pattern);
    benchmark::DoNotOptimize(text.data());
    if (++i == values.std.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_YxFormatRecord_1ms(benchmark::State& state) { YxFormatCase(state, ValuesByMs(), kRecordPattern); }
void BM_StdFormatRecord_1ms(benchmark::State& state) { StdFormatCase(state, ValuesByMs(), kRecordPattern); }
void BM_YxFormatRecord_1s(benchmark::State& state) { YxFormatCase(state, ValuesBySecond(), kRecordPattern); }
void BM_StdFormatRecord_1s(benchmark::State& state) {
  StdFormatCase(state, ValuesBySecond(), kRecordPattern);
}
void BM_YxFormatFileName_1ms(benchmark::State& state) { YxFormatCase(state, ValuesByMs(), kFileNamePattern); }
void BM_StdFormatFileName_1ms(benchmark::State& state) {
  StdFormatCase(state, ValuesByMs(), kFileNamePattern);
}
void BM_YxFormatFileName_1s(benchmark::State& state) {
  YxFormatCase(state, ValuesBySecond(), kFileNamePattern);
}
void BM_StdFormatFileName_1s(benchmark::State& state) {
  StdFormatCase(state, ValuesBySecond(), kFileNamePattern);
}
BENCHMARK(BM_YxFormatRecord_1ms);
BENCHMARK(BM_StdFormatRecord_1ms);
BENCHMARK(BM_YxFormatRecord_1s);
BENCHMARK(BM_StdFormatRecord_1s);
BENCHMARK(BM_YxFormatFileName_1ms);
BENCHMARK(BM_StdFormatFileName_1ms);
BENCHMARK(BM_YxFormatFileName_1s);
BENCHMARK(BM_StdFormatFileName_1s);

// ---------------------------------------------------------------------------
// SetNow

void BM_YxSetNow(benchmark::State& state) {
  yx::TDateTime value;
  for (auto _ : state) {
    benchmark::DoNotOptimize(value.SetNow());
    benchmark::DoNotOptimize(value.Value());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_YxSetNow);

void BM_StdSetNow(benchmark::State& state) {
  tzset();
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
BENCHMARK(BM_StdSetNow);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Both sides must give the same text before their times mean anything.
  for (const TValues* values : {&ValuesByMs(), &ValuesBySecond()}) {
    CheckSameText(*values, kRecordPattern);
    CheckSameText(*values, kFileNamePattern);
  }
  yx::bench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

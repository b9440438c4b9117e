// Benchmarks of the foundation library against the standard library.
//
// Every case comes in a pair that does the same work: BM_Yx<Case> with the
// yx classes and BM_Std<Case> with std::string or std::vector. Each
// iteration performs `ops` operations (the benchmark's argument, or a fixed
// count), reported as items per second; after the runs the program prints
// one row per pair with the CPU time per operation of both and their ratio.
//
// Run: build/linux/bench/gen_bench [--benchmark_filter=REGEX] [...]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BStr.h"
#include "RatioReporter.h"
#include "yxgen.h"

namespace {

// ---------------------------------------------------------------------------
// Inputs shared by both sides of a pair

// Deterministic pseudo-random numbers (a 32-bit LCG), so both sides of a pair
// and every run see the same input.
class TLcg {
 public:
  explicit TLcg(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  uint32_t state_;
};

// The keys 0 .. n-1 in a shuffled order.
std::vector<int> ShuffledKeys(int n) {
  std::vector<int> keys(n);
  for (int i = 0; i < n; ++i) keys[i] = i;
  TLcg lcg(12345);
  for (int i = n - 1; i > 0; --i) std::swap(keys[i], keys[lcg.Next() % unsigned(i + 1)]);
  return keys;
}

// Filler text of `length` lower-case letters and blanks without digits, so
// a needle with a digit is never found in it by accident.
std::string FillerText(int length) {
  std::string text;
  text.reserve(length);
  TLcg lcg(777);
  for (int i = 0; i < length; ++i) {
    const uint32_t r = lcg.Next() % 27;
    text.push_back(r == 26 ? ' ' : char('a' + r));
  }
  return text;
}

// A text of `length` characters with a needle "needle42" only at its end;
// its first letter is frequent in the filler, so a search has many false
// starts.
constexpr char kNeedle[] = "needle42";
std::string FindHaystack(int length) {
  std::string text = FillerText(length - int(sizeof kNeedle - 1));
  return text + kNeedle;
}

// A text holding `count` occurrences of "{name}", each after 20 filler
// characters.
constexpr char kPlaceholder[] = "{name}";
constexpr char kReplacement[] = "Wolfgang Amadeus";
std::string ReplaceSubject(int count) {
  const std::string filler = FillerText(20);
  std::string text;
  for (int i = 0; i < count; ++i) text += filler + kPlaceholder;
  return text + filler;
}

// The piece that the append cases add, a typical small part of a log line.
constexpr char kPiece[] = "abc, ";

// ---------------------------------------------------------------------------
// BStr append vs std::string

// `ops` small appends to a new string.
void BM_YxAppend(benchmark::State& state) {
  const int ops = int(state.range(0));
  for (auto _ : state) {
    yx::BStr s;
    for (int i = 0; i < ops; ++i) s.Append(kPiece);
    benchmark::DoNotOptimize(s.CStr());
  }
  state.SetItemsProcessed(state.iterations() * ops);
}
BENCHMARK(BM_YxAppend)->Arg(16)->Arg(1024)->Arg(16384);

void BM_StdAppend(benchmark::State& state) {
  const int ops = int(state.range(0));
  for (auto _ : state) {
    std::string s;
    for (int i = 0; i < ops; ++i) s.append(kPiece);
    benchmark::DoNotOptimize(s.data());
  }
  state.SetItemsProcessed(state.iterations() * ops);
}
BENCHMARK(BM_StdAppend)->Arg(16)->Arg(1024)->Arg(16384);

// ---------------------------------------------------------------------------
// BStr::Format vs snprintf into std::string

// A record-like line: text, decimal, hexadecimal and fixed-point arguments.
constexpr char kFormat[] = "%s: pid=%u tid=%u code=0x%08x elapsed=%.3f s";
constexpr int kFormatOps = 64;

void BM_YxFormat(benchmark::State& state) {
  yx::BStr s;
  for (auto _ : state) {
    for (int i = 0; i < kFormatOps; ++i) {
      s.Format(kFormat, "WindowsSuspend() end", 4242u, unsigned(i), 0x80070005u, i * 0.125);
      benchmark::DoNotOptimize(s.CStr());
    }
  }
  state.SetItemsProcessed(state.iterations() * kFormatOps);
}
BENCHMARK(BM_YxFormat);

// The general way to format into a std::string of any length: ask snprintf
// for the size, size the string, format into it.
void BM_StdFormat(benchmark::State& state) {
  std::string s;
  for (auto _ : state) {
    for (int i = 0; i < kFormatOps; ++i) {
      const char* name = "WindowsSuspend() end";
      const int n = std::snprintf(nullptr, 0, kFormat, name, 4242u, unsigned(i), 0x80070005u, i * 0.125);
      s.resize(size_t(n));
      std::snprintf(&s[0], size_t(n) + 1, kFormat, name, 4242u, unsigned(i), 0x80070005u, i * 0.125);
      benchmark::DoNotOptimize(s.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * kFormatOps);
}
BENCHMARK(BM_StdFormat);

// ---------------------------------------------------------------------------
// BStr::Find vs std::string::find: one search through a text of `ops`
// characters, the needle at its end (an operation is one character passed).

void BM_YxFind(benchmark::State& state) {
  const int length = int(state.range(0));
  const yx::BStr haystack(FindHaystack(length).c_str());
  for (auto _ : state) {
    const unsigned pos = haystack.Find(kNeedle, 0, 0);
    benchmark::DoNotOptimize(pos);
    if (pos == yx::kNotFound) state.SkipWithError("needle not found");
  }
  state.SetItemsProcessed(state.iterations() * length);
}
BENCHMARK(BM_YxFind)->Arg(256)->Arg(4096);

void BM_StdFind(benchmark::State& state) {
  const int length = int(state.range(0));
  const std::string haystack = FindHaystack(length);
  for (auto _ : state) {
    const size_t pos = haystack.find(kNeedle, 0);
    benchmark::DoNotOptimize(pos);
    if (pos == std::string::npos) state.SkipWithError("needle not found");
  }
  state.SetItemsProcessed(state.iterations() * length);
}
BENCHMARK(BM_StdFind)->Arg(256)->Arg(4096);

// ---------------------------------------------------------------------------
// BStr::Replace (every occurrence) vs a linear replace-all on std::string
// (the result built in one pass): a fresh copy of a text with `ops`
// placeholders, each replaced by a longer text.

void BM_YxReplaceAll(benchmark::State& state) {
  const int count = int(state.range(0));
  const yx::BStr subject(ReplaceSubject(count).c_str());
  for (auto _ : state) {
    yx::BStr s(subject);
    const unsigned replaced = s.Replace(kPlaceholder, kReplacement, 0, yx::kReplaceAll);
    benchmark::DoNotOptimize(s.CStr());
    if (replaced != unsigned(count)) state.SkipWithError("wrong number of replacements");
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_YxReplaceAll)->Arg(4)->Arg(64)->Arg(1024)->Arg(64000);

void BM_StdReplaceAll(benchmark::State& state) {
  const int count = int(state.range(0));
  const std::string subject = ReplaceSubject(count);
  const size_t whatLength = sizeof kPlaceholder - 1;
  for (auto _ : state) {
    std::string s(subject);
    std::string result;
    int replaced = 0;
    size_t from = 0;
    for (size_t pos = s.find(kPlaceholder); pos != std::string::npos; pos = s.find(kPlaceholder, from)) {
      result.append(s, from, pos - from).append(kReplacement);
      from = pos + whatLength;
      ++replaced;
    }
    result.append(s, from, std::string::npos);
    s.swap(result);
    benchmark::DoNotOptimize(s.data());
    if (replaced != count) state.SkipWithError("wrong number of replacements");
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StdReplaceAll)->Arg(4)->Arg(64)->Arg(1024)->Arg(64000);

// ---------------------------------------------------------------------------
// TPtrArray sorted Add and Search vs a sorted std::vector (lower_bound)

// The item of both containers, so that both pay the same allocations and
// only the containers differ.
class TKeyItem : public yx::TYxBsMem {
 public:
  explicit TKeyItem(int key) : key_(key) {}
  int Key() const { return key_; }
  // The TPtrArray order: -1, 0 or 1 as this item lies below, at or above
  // `other`.
  int Compare(const TKeyItem* other, int /*mode*/) const { return yx::Sign(key_ - other->key_); }

 private:
  int key_;
};

constexpr int kSortedMode = 1;
constexpr unsigned kGranularity = 64;

using TKeyVector = std::vector<std::unique_ptr<TKeyItem>>;

bool KeyBelow(const std::unique_ptr<TKeyItem>& item, int key) { return item->Key() < key; }

void AddSorted(TKeyVector& items, int key) {
  auto pos = std::lower_bound(items.begin(), items.end(), key, KeyBelow);
  items.insert(pos, std::make_unique<TKeyItem>(key));
}

// `ops` items in shuffled key order added to a new sorted table.
void BM_YxSortedAdd(benchmark::State& state) {
  const std::vector<int> keys = ShuffledKeys(int(state.range(0)));
  for (auto _ : state) {
    yx::TPtrArray<TKeyItem> table(kSortedMode, 0, kGranularity);
    for (int key : keys) table.Add(new TKeyItem(key));
    benchmark::DoNotOptimize(table.Count());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(keys.size()));
}
BENCHMARK(BM_YxSortedAdd)->Arg(64)->Arg(1024)->Arg(16384);

void BM_StdSortedAdd(benchmark::State& state) {
  const std::vector<int> keys = ShuffledKeys(int(state.range(0)));
  for (auto _ : state) {
    TKeyVector table;
    for (int key : keys) AddSorted(table, key);
    benchmark::DoNotOptimize(table.size());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(keys.size()));
}
BENCHMARK(BM_StdSortedAdd)->Arg(64)->Arg(1024)->Arg(16384);

// Looks up every key of a sorted table of `ops` items, in shuffled order.
void BM_YxSortedSearch(benchmark::State& state) {
  const std::vector<int> keys = ShuffledKeys(int(state.range(0)));
  yx::TPtrArray<TKeyItem> table(kSortedMode, 0, kGranularity);
  for (int key : keys) table.Add(new TKeyItem(key));
  for (auto _ : state) {
    for (int key : keys) {
      const TKeyItem probe(key);
      unsigned index = 0;
      const bool found = table.Search(&index, &probe, yx::kEqual);
      benchmark::DoNotOptimize(index);
      if (!found) state.SkipWithError("key not found");
    }
  }
  state.SetItemsProcessed(state.iterations() * int64_t(keys.size()));
}
BENCHMARK(BM_YxSortedSearch)->Arg(64)->Arg(1024)->Arg(16384);

void BM_StdSortedSearch(benchmark::State& state) {
  const std::vector<int> keys = ShuffledKeys(int(state.range(0)));
  TKeyVector table;
  for (int key : keys) AddSorted(table, key);
  for (auto _ : state) {
    for (int key : keys) {
      auto pos = std::lower_bound(table.begin(), table.end(), key, KeyBelow);
      const bool found = pos != table.end() && (*pos)->Key() == key;
      size_t index = size_t(pos - table.begin());
      benchmark::DoNotOptimize(index);
      if (!found) state.SkipWithError("key not found");
    }
  }
  state.SetItemsProcessed(state.iterations() * int64_t(keys.size()));
}
BENCHMARK(BM_StdSortedSearch)->Arg(64)->Arg(1024)->Arg(16384);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  yx::bench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

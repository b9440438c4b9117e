// TRatioReporter: Google Benchmark's console output, followed by a table of
// each case's time per operation on both sides and their ratio. A case is a
// pair of benchmarks named BM_Yx<case> and BM_Std<case> that count their
// operations with SetItemsProcessed.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace yx::bench {

constexpr char kYxPrefix[] = "BM_Yx";
constexpr char kStdPrefix[] = "BM_Std";

// The console output of Google Benchmark, plus the CPU time per operation of
// every run, kept by case ("Append/1024") and side (BM_Yx... or BM_Std...).
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  TRatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto rate = run.counters.find("items_per_second");
      if (rate == run.counters.end() || rate->second.value <= 0) continue;
      const double nsPerOp = 1e9 / rate->second.value;
      const std::string name = run.benchmark_name();
      if (name.compare(0, sizeof kYxPrefix - 1, kYxPrefix) == 0) {
        Add(Case(name.substr(sizeof kYxPrefix - 1)).yx, nsPerOp);
      } else if (name.compare(0, sizeof kStdPrefix - 1, kStdPrefix) == 0) {
        Add(Case(name.substr(sizeof kStdPrefix - 1)).std, nsPerOp);
      }
    }
  }

  // One row per case: both times (the mean over repetitions) and yx/std.
  void PrintRatios() const {
    std::printf("\n%-26s %14s %14s %14s\n", "name", "yx ns/op", "std ns/op", "ratio yx/std");
    std::printf("%-26s %14s %14s %14s\n", "----", "--------", "---------", "------------");
    for (const std::string& name : order_) {
      const TCase& c = cases_.at(name);
      std::printf("%-26s %14s %14s %14s\n", name.c_str(), Cell(c.yx, 1).c_str(), Cell(c.std, 1).c_str(),
                  Cell(c.yx, c.std).c_str());
    }
  }

 private:
  struct TMean {
    double sum = 0;
    int count = 0;
    double Value() const { return count == 0 ? 0 : sum / count; }
  };
  struct TCase {
    TMean yx;
    TMean std;
  };

  // The case of that name, made on first use; the table keeps the order in
  // which the cases first ran.
  TCase& Case(const std::string& name) {
    auto [it, fresh] = cases_.try_emplace(name);
    if (fresh) order_.push_back(name);
    return it->second;
  }

  static void Add(TMean& mean, double value) {
    mean.sum += value;
    ++mean.count;
  }

  // numerator / denominator as text (below 1 with three significant digits),
  // or "-" when a side did not run.
  static std::string Cell(const TMean& numerator, double denominator) {
    if (numerator.count == 0 || denominator <= 0) return "-";
    const double value = numerator.Value() / denominator;
    char text[32];
    std::snprintf(text, sizeof text, value < 1 ? "%.3g" : "%.2f", value);
    return text;
  }
  static std::string Cell(const TMean& numerator, const TMean& denominator) {
    return denominator.count == 0 ? "-" : Cell(numerator, denominator.Value());
  }

  std::map<std::string, TCase> cases_;
  std::vector<std::string> order_;
};

}  // namespace yx::bench

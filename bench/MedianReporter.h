// A console reporter that also keeps the CPU time of every run by setting (the benchmark's
// arguments) and benchmark, so that a benchmark can print ratios of medians at the end. CPU
// time, not wall time: on a shared machine the wall clock also counts the time the thread
// waited for a core. With one repetition the median of the single runs stands for the median.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

class TMedianReporter : public benchmark::ConsoleReporter {
public:
  TMedianReporter() : ConsoleReporter(OO_None) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      if (FTimes.find(r.run_name.args) == FTimes.end()) FSettings.push_back(r.run_name.args);
      TTimes& t = FTimes[r.run_name.args][r.run_name.function_name];
      if (r.run_type == Run::RT_Iteration)
        t.Single.push_back(r.GetAdjustedCPUTime());
      else if (r.aggregate_name == "median")
        t.Median = r.GetAdjustedCPUTime();
    }
  }

protected:
  // The settings in the order they ran.
  const std::vector<std::string>& Settings() const { return FSettings; }

  // The median CPU time of one benchmark at one setting, or 0 when it did not run.
  double MedianOf(const std::string& setting, const char* name) const {
    const auto s = FTimes.find(setting);
    if (s == FTimes.end()) return 0.0;
    const auto it = s->second.find(name);
    if (it == s->second.end()) return 0.0;
    if (it->second.Median > 0.0) return it->second.Median;
    std::vector<double> v = it->second.Single;
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 != 0 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
  }

private:
  struct TTimes {
    double Median = 0.0;
    std::vector<double> Single;
  };
  // setting ("fb:0/m:1") -> benchmark ("BM_Kernel") -> its times
  std::map<std::string, std::map<std::string, TTimes>> FTimes;
  std::vector<std::string> FSettings;
};

// Runs the registered benchmarks, reported by R (a TMedianReporter that prints its ratios at the
// end) unless another output format is asked for: then by the library's own reporter, without
// the ratios.
template <class R> int RunBenchmarksReportedBy(int argc, char** argv) {
  bool console = true;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--benchmark_format=", 19) == 0)
      console = std::strcmp(argv[i] + 19, "console") == 0;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (console) {
    R reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
  } else {
    benchmark::RunSpecifiedBenchmarks();
  }
  benchmark::Shutdown();
  return 0;
}

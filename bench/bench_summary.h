// The runner shared by the benchmark programs that print a summary (ratios,
// MB/s) after the usual table: it keeps each benchmark's time per iteration,
// wall-clock and CPU, by name.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace vellum_bench {

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        double iterations = static_cast<double>(run.iterations);
        wall_[run.benchmark_name()] = run.real_accumulated_time / iterations;
        cpu_[run.benchmark_name()] = run.cpu_accumulated_time / iterations;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Seconds per iteration; 0 for a benchmark that did not run.
  double wall(const std::string& name) const { return find(wall_, name); }
  double cpu(const std::string& name) const { return find(cpu_, name); }

 private:
  static double find(const std::map<std::string, double>& m, const std::string& name) {
    auto it = m.find(name);
    return it == m.end() ? 0.0 : it->second;
  }

  std::map<std::string, double> wall_;
  std::map<std::string, double> cpu_;
};

// The body of main: runs the benchmarks the command line selects, then the
// summary.
inline int runWithSummary(int argc, char** argv, void (*summary)(const RecordingReporter&)) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  summary(reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace vellum_bench

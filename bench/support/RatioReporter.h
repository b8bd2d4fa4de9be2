#pragma once

// The console reporter of every benchmark here, keeping the wall time per
// iteration of each run so that the program can print ratios against a
// baseline measured in the same run. Of repeated runs the fastest counts: a
// loaded machine only ever adds time.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace benchgen {

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& R : Runs)
      if (R.run_type == Run::RT_Iteration && R.iterations > 0 && !R.error_occurred) {
        const double seconds = R.real_accumulated_time / static_cast<double>(R.iterations);
        const auto [it, added] = FSeconds.try_emplace(Name(R), seconds);
        if (!added && seconds < it->second) it->second = seconds;
      }
    ConsoleReporter::ReportRuns(Runs);
  }

  // Seconds per iteration of the run named Name (without "/min_time:..."); 0 when it did not run.
  double Seconds(const std::string& Name) const {
    const auto it = FSeconds.find(Name);
    return it == FSeconds.end() ? 0.0 : it->second;
  }

  // Prints "What  Measured / Baseline" when both ran.
  void PrintRatio(const std::string& What, const std::string& Measured, const std::string& Baseline,
                  int Width = 55) const {
    const double m = Seconds(Measured), b = Seconds(Baseline);
    if (m <= 0 || b <= 0) return;
    std::printf("  %-*s %8.2f\n", Width, What.c_str(), m / b);
  }

 private:
  static std::string Name(const Run& R) {
    std::string name = R.benchmark_name();
    const size_t p = name.find("/min_time:");
    if (p != std::string::npos) name.resize(p);
    return name;
  }
  std::map<std::string, double> FSeconds;
};

// The worst of a figure over the mixes, encodings and exports of a run, and
// where it comes from.
struct TWorst {
  double Value = -1;
  std::string Where;
  void Take(double V, const std::string& W) {
    if (V > Value) {
      Value = V;
      Where = W;
    }
  }
  void Print(const char* What, const char* Goal) const {
    if (Value >= 0) std::printf("  %-52s %6.2f  (%s; goal %s)\n", What, Value, Where.c_str(), Goal);
  }
};

}  // namespace benchgen

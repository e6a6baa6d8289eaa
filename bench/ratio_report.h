// Prints, after the usual table, the ratio of each measured call to its baseline from the
// same run, so a figure is never compared with one taken on a differently loaded machine.
//
//   int main(int argc, char** argv) {
//       return benchmark_ratio::Main(argc, argv, {{"BM_Ours", "BM_Baseline", "goal <= 2"}});
//   }
//
// A row names two benchmarks (by function name, or by the full name as printed when one
// function is registered with several arguments) or two user counters of benchmarks
// ("BM_X:rss_kB"); the value compared is the time per iteration (real time, or the manual
// time a benchmark reports), or the counter. A baseline may be a sum: "BM_A+BM_B".
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace benchmark_ratio {

struct Ratio {
    std::string measured;
    std::string baseline;
    std::string goal;
};

class Reporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            for (const std::string& name : {run.benchmark_name(), run.run_name.function_name}) {
                values_[name] = run.GetAdjustedRealTime();
                for (const auto& [counter, value] : run.counters)
                    values_[name + ":" + counter] = value.value;
            }
        }
    }

    void PrintRatios(const std::vector<Ratio>& ratios) const {
        std::printf("\n%-44s %-36s %8s  %s\n", "measured", "baseline (same run)", "ratio", "goal");
        for (const Ratio& ratio : ratios) {
            const double measured = Value(ratio.measured);
            const double baseline = Value(ratio.baseline);
            if (measured <= 0 || baseline <= 0) {
                std::printf("%-44s %-36s %8s  %s\n", ratio.measured.c_str(), ratio.baseline.c_str(),
                            "n/a", ratio.goal.c_str());
                continue;
            }
            std::printf("%-44s %-36s %7.2fx  %s\n", ratio.measured.c_str(), ratio.baseline.c_str(),
                        measured / baseline, ratio.goal.c_str());
        }
        std::fflush(stdout);
    }

  private:
    // The value of a name, or the sum of "+"-separated names; 0 when one is missing.
    double Value(const std::string& names) const {
        double sum = 0;
        size_t start = 0;
        for (;;) {
            const size_t plus = names.find('+', start);
            const auto found = values_.find(names.substr(start, plus - start));
            if (found == values_.end())
                return 0;
            sum += found->second;
            if (plus == std::string::npos)
                return sum;
            start = plus + 1;
        }
    }

    std::map<std::string, double> values_;
};

inline int Main(int argc, char** argv, const std::vector<Ratio>& ratios) {
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(ratios);
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchmark_ratio

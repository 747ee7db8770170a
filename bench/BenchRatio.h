#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Times ours and the baseline doing the same work, alternating so that both see the same machine
// state, and reports ours / baseline. Benchmarks register their pairs here and the ratio appears
// as a counter next to the Google Benchmark timings.
namespace BenchRatio {

inline double secondsFor(const std::function<void()>& work, int repetitions)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repetitions; ++i)
        work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best-of-rounds ratio, robust to a noisy neighbour on the machine.
inline double measure(const std::function<void()>& ours, const std::function<void()>& baseline, int repetitions = 5,
                      int rounds = 7)
{
    double bestOurs = 1e300;
    double bestBaseline = 1e300;
    for (int round = 0; round < rounds; ++round) {
        bestBaseline = std::min(bestBaseline, secondsFor(baseline, repetitions));
        bestOurs = std::min(bestOurs, secondsFor(ours, repetitions));
    }
    return bestOurs / bestBaseline;
}

// The middle of the values, the mean of the two middle ones for an even count; 0 for none. A
// figure that one slow round on a busy machine cannot move.
inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Puts a ratio measured by the benchmark itself next to its timings, and prints it in the line
// every benchmark reports its ratios in.
inline void report(benchmark::State& state, const char* what, double ratio, double target)
{
    state.counters["ratio"] = ratio;
    state.counters["target"] = target;
    std::printf("RATIO %-48s %6.2fx (target %.2fx) %s\n", what, ratio, target, ratio <= target ? "ok" : "OVER TARGET");
}

// Measures and prints the ratio the first time a benchmark asks (Google Benchmark calls each
// benchmark several times while it settles on an iteration count); later calls reuse it.
inline void compare(benchmark::State& state, const char* what, const std::function<void()>& ours,
                    const std::function<void()>& baseline, double target)
{
    static std::map<std::string, double> measured;
    auto found = measured.find(what);
    if (found == measured.end()) {
        found = measured.emplace(what, measure(ours, baseline)).first;
        report(state, what, found->second, target);
        return;
    }
    state.counters["ratio"] = found->second;
    state.counters["target"] = target;
}

// A console reporter that also keeps every repetition's wall time per iteration, by benchmark
// function, so that ratios printed after the run come from medians. With
// --benchmark_repetitions, Google Benchmark reports the repetitions and then aggregate rows (mean,
// median, standard deviation, ...); a ratio taken from whichever row came last would divide a
// standard deviation by another.
class MedianReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_seconds[run.run_name.function_name].push_back(run.GetAdjustedRealTime() /
                                                                benchmark::GetTimeUnitMultiplier(run.time_unit));
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Seconds per iteration of the named benchmark function, the median of its repetitions; 0 when
    // it did not run.
    double median(const std::string& function) const
    {
        const auto found = m_seconds.find(function);
        if (found == m_seconds.end() || found->second.empty())
            return 0;
        return BenchRatio::median(found->second);
    }

private:
    std::map<std::string, std::vector<double>> m_seconds;
};

} // namespace BenchRatio

// Cutting a ten-minute dictation into recognition chunks, next to the bare work in the same run:
// one sum-of-squares pass over the same samples, and one copy of them into a fresh array (the
// chunks are fresh arrays holding every sample once, plus the overlaps).
#include "core/audio/AudioChunker.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>

namespace {

constexpr int kRate = 16000;

const Samples& tenMinutes()
{
    static const Samples samples = [] {
        Samples s(static_cast<std::size_t>(10 * 60 * kRate));
        std::uint32_t state = 7;
        for (float& sample : s) {
            state = state * 1664525u + 1013904223u;
            sample = 0.3f * (static_cast<float>(state >> 8) / static_cast<float>(1u << 24) - 0.5f);
        }
        return s;
    }();
    return samples;
}

double g_splitNs = 0;
double g_passNs = 0;
double g_copyNs = 0;

void BM_SumOfSquaresPass(benchmark::State& state)
{
    const Samples& samples = tenMinutes();
    for (auto _ : state) {
        float sum = 0.0f;
        for (const float sample : samples)
            sum += sample * sample;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(samples.size()));
}

void BM_CopyOnce(benchmark::State& state)
{
    const Samples& samples = tenMinutes();
    for (auto _ : state) {
        Samples copy(samples.begin(), samples.end());
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(samples.size()));
}

void BM_AudioChunkerSplit(benchmark::State& state)
{
    const Samples& samples = tenMinutes();
    for (auto _ : state) {
        std::vector<Samples> chunks = AudioChunker::split(samples, kRate, 60, 4, 3);
        benchmark::DoNotOptimize(chunks.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(samples.size()));
}

// Records mean wall time per iteration so the ratio can be printed after the run.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const double ns = run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.benchmark_name().find("BM_AudioChunkerSplit") != std::string::npos)
                g_splitNs = ns;
            else if (run.benchmark_name().find("BM_SumOfSquaresPass") != std::string::npos)
                g_passNs = ns;
            else if (run.benchmark_name().find("BM_CopyOnce") != std::string::npos)
                g_copyNs = ns;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

BENCHMARK(BM_SumOfSquaresPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AudioChunkerSplit)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (g_passNs > 0 && g_copyNs > 0 && g_splitNs > 0) {
        std::printf("AudioChunker.split of 10 min: %.1f ms\n", g_splitNs / 1e6);
        std::printf("  / one sum-of-squares pass: %.2f\n", g_splitNs / g_passNs);
        std::printf("  / one copy of the samples: %.2f\n", g_splitNs / g_copyNs);
    }
    return 0;
}

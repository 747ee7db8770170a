// Cutting a ten-minute dictation into recognition chunks, next to the bare work in the same run:
// one sum-of-squares pass over the same samples, and one copy of them into a fresh array (the
// chunks are fresh arrays holding every sample once, plus the overlaps).
#include "bench/BenchRatio.h"
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

} // namespace

BENCHMARK(BM_SumOfSquaresPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AudioChunkerSplit)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    BenchRatio::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double split = reporter.median("BM_AudioChunkerSplit");
    const double pass = reporter.median("BM_SumOfSquaresPass");
    const double copy = reporter.median("BM_CopyOnce");
    if (pass > 0 && copy > 0 && split > 0) {
        std::printf("AudioChunker.split of 10 min (medians): %.1f ms\n", split * 1e3);
        std::printf("  / one sum-of-squares pass: %.2f\n", split / pass);
        std::printf("  / one copy of the samples: %.2f\n", split / copy);
    }
    return 0;
}

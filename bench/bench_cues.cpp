// The first play of each cue renders it on the main thread. Rendering must cost little more
// than the bare arithmetic of its partials plus writing the WAV image: the strike noise, its
// moving average and the envelopes roughly double that work, and nothing else should add to it.
#include "app/feedback/CueSynth.h"
#include "bench/BenchRatio.h"
#include "core/audio/WavEncoder.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// The same partials summed straight into samples, with no envelope, noise or normalisation.
QByteArray bareTone(const SoundSpec& spec, double f0)
{
    const int rate = CueSynth::sampleRate;
    const auto n = static_cast<size_t>(rate * spec.durMs / 1000.0);
    std::vector<float> samples(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        double v = 0.0;
        for (const auto& p : spec.partials)
            v += p.a * std::sin(2.0 * std::numbers::pi * p.r * f0 * t) * std::exp(-p.k * t);
        samples[i] = float(v * 0.5);
    }
    return WavEncoder::encode(samples, rate);
}

void renderCue(benchmark::State& state, const char* set)
{
    const SoundSpec& spec = SoundSpec::builtIn().at(QString::fromLatin1(set));
    for (auto _ : state)
        benchmark::DoNotOptimize(CueSynth::render(spec, spec.f0Start));
    const std::string what = std::string("cue render ") + set + " vs bare partials";
    BenchRatio::compare(
        state, what.c_str(), [&] { benchmark::DoNotOptimize(CueSynth::render(spec, spec.f0Start)); },
        [&] { benchmark::DoNotOptimize(bareTone(spec, spec.f0Start)); }, 2.5);
}

void BM_RenderCork(benchmark::State& state)
{
    renderCue(state, "cork");
}
void BM_RenderMarimba(benchmark::State& state)
{
    renderCue(state, "marimba");
}

} // namespace

BENCHMARK(BM_RenderCork)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderMarimba)->Unit(benchmark::kMicrosecond);

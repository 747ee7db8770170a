// What a user waits for before the upload starts: turning a minute of recording into a WAV image
// and the gateway's request body.
#include "bench/BenchRatio.h"
#include "core/audio/WavEncoder.h"
#include "core/recognition/GatewayAsrProvider.h"

#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

Samples speechLikeMinute()
{
    Samples samples(60 * kRecordingSampleRate);
    uint32_t noise = 12345;
    for (size_t i = 0; i < samples.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = double(i) / kRecordingSampleRate;
        const double envelope = 0.5 + 0.5 * std::sin(t * 3.1);
        samples[i] = float(envelope * (0.4 * std::sin(t * 2 * M_PI * 180) + 0.2 * std::sin(t * 2 * M_PI * 720)) +
                           (double(noise >> 8) / double(1 << 24) - 0.5) * 0.05);
    }
    return samples;
}

// The least any encoder has to do: one pass converting each float to a 16-bit integer.
QByteArray plainConversion(const Samples& samples)
{
    QByteArray out(qsizetype(samples.size() * 2), Qt::Uninitialized);
    auto* pcm = reinterpret_cast<int16_t*>(out.data());
    for (size_t i = 0; i < samples.size(); ++i)
        pcm[i] = int16_t(samples[i] * 32767.0f);
    return out;
}

void WavEncodeMinute(benchmark::State& state)
{
    const Samples samples = speechLikeMinute();
    for (auto _ : state)
        benchmark::DoNotOptimize(WavEncoder::encode(samples, kRecordingSampleRate));
    BenchRatio::compare(
        state, "WAV encode 60 s / plain float-to-int16 loop",
        [&] { benchmark::DoNotOptimize(WavEncoder::encode(samples, kRecordingSampleRate)); },
        [&] { benchmark::DoNotOptimize(plainConversion(samples)); }, 1.5);
}

void GatewayAsrBodyMinute(benchmark::State& state)
{
    const QByteArray wav = WavEncoder::encode(speechLikeMinute(), kRecordingSampleRate);
    const QStringList vocabulary{QStringLiteral("Murmo"), QStringLiteral("语音输入"), QStringLiteral("DashScope")};
    for (auto _ : state)
        benchmark::DoNotOptimize(GatewayAsrProvider::requestBody(wav, vocabulary, std::nullopt));
    BenchRatio::compare(
        state, "v1/asr body for 60 s / Qt base64 of the WAV",
        [&] { benchmark::DoNotOptimize(GatewayAsrProvider::requestBody(wav, vocabulary, std::nullopt)); },
        [&] { benchmark::DoNotOptimize(wav.toBase64()); }, 1.5);
}

} // namespace

BENCHMARK(WavEncodeMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(GatewayAsrBodyMinute)->Unit(benchmark::kMillisecond);

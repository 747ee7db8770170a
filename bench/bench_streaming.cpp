// What the capture thread spends per buffer on streaming recognition: append() of one buffer
// (RMS, 16-bit PCM, base64, the counters, handing the chunk to the socket's thread) against the
// bare PCM conversion and base64 encoding of the same samples.
#include "bench/BenchRatio.h"
#include "core/recognition/StreamingAsr.h"
#include "platform/Clock.h"

#include <QByteArray>
#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr std::size_t kBufferSamples = 4096;

// Never fires: no timeout is armed without a connection.
class IdleClock : public Clock
{
public:
    std::chrono::milliseconds now() const override { return std::chrono::milliseconds(0); }
    TimerId schedule(std::chrono::milliseconds, std::function<void()>) override { return ++m_next; }
    void cancel(TimerId) override {}

private:
    TimerId m_next = 0;
};

Samples speechLikeBuffer()
{
    Samples samples(kBufferSamples);
    uint32_t noise = 777;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = double(i) / kRecordingSampleRate;
        samples[i] = float(0.3 * std::sin(t * 2 * M_PI * 200) + (double(noise >> 8) / double(1 << 24) - 0.5) * 0.05);
    }
    return samples;
}

// The least any sender has to do: clamp, convert to 16 bits, base64.
QByteArray bareChunk(const Samples& samples)
{
    QByteArray pcm(qsizetype(samples.size() * 2), Qt::Uninitialized);
    auto* out = reinterpret_cast<int16_t*>(pcm.data());
    for (std::size_t i = 0; i < samples.size(); ++i)
        out[i] = int16_t(std::clamp(samples[i], -1.0f, 1.0f) * 32767.0f);
    return pcm.toBase64();
}

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "bench_streaming";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// A session past readiness and without a socket: everything append() does happens, and the
// socket's thread finds nobody to send to.
std::shared_ptr<StreamingAsr> readySession(Clock& clock)
{
    auto session = StreamingAsr::create(QUrl(QStringLiteral("https://gateway.invalid/")), QStringLiteral("t"), clock);
    session->handleTextFrame(QStringLiteral(R"({"type":"session.updated"})"));
    return session;
}

void drainMainThread()
{
    QCoreApplication::sendPostedEvents();
}

void StreamingAppend(benchmark::State& state)
{
    application();
    IdleClock clock;
    const auto session = readySession(clock);
    const Samples samples = speechLikeBuffer();
    int sinceDrain = 0;
    for (auto _ : state) {
        session->append(samples);
        if (++sinceDrain == 4) {
            state.PauseTiming();
            drainMainThread();
            sinceDrain = 0;
            state.ResumeTiming();
        }
    }
    drainMainThread();

    // The socket's thread sends each chunk soon after it is queued; so does the comparison.
    BenchRatio::compare(
        state, "append 4096 samples / bare PCM + base64",
        [&] {
            session->append(samples);
            drainMainThread();
        },
        [&] { benchmark::DoNotOptimize(bareChunk(samples)); }, 1.5);
    drainMainThread();

    // Share of the buffer's own duration (4096 samples = 256 ms) spent in append().
    const int repetitions = 200;
    const double seconds = BenchRatio::secondsFor(
                               [&] {
                                   session->append(samples);
                                   drainMainThread();
                               },
                               repetitions) /
                           repetitions;
    const double share = seconds / (double(kBufferSamples) / kRecordingSampleRate);
    state.counters["share_of_buffer"] = share;
    static bool printed = false;
    if (!printed) {
        printed = true;
        std::printf("SHARE append of one 4096-sample buffer: %.4f%% of its 256 ms\n", share * 100.0);
    }
}

void BarePcmBase64(benchmark::State& state)
{
    const Samples samples = speechLikeBuffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(bareChunk(samples));
}

} // namespace

BENCHMARK(StreamingAppend);
BENCHMARK(BarePcmBase64);

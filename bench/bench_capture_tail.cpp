// How close a take's end comes to the moment the user ends it, through the real sound server: a
// tone of known length is played into the headless desktop's virtual microphone and the take is
// finished as soon as the player has played its last sample. The figure is how much of the tone
// the take lacks, the median and the worst over the takes, beside a bare QAudioSource that reads
// the same device and is stopped at the same moment after reading what it was given. The moment
// is when a second listener with the server's shortest fragments hears the tone end.
#include "bench/BenchRatio.h"
#include "bench/DesktopBenchMain.h"
#include "core/audio/AudioRecorder.h"
#include "core/audio/WavEncoder.h"
#include "platform/linux/audio/QtAudioInput.h"
#include "tests/platform/linux/audio/ToneEndWatcher.h"

#include <QAudioSource>
#include <QCoreApplication>
#include <QCoroTask>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace {

constexpr int kTakes = 15;
constexpr double kToneSeconds = 1.0;
constexpr double kTargetMs = 20.0;

bool writeTone(const QString& path)
{
    std::vector<float> samples(std::size_t(48000 * (0.2 + kToneSeconds)), 0.0f);
    for (std::size_t i = 48000 / 5; i < samples.size(); ++i)
        samples[i] = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(i) / 48000.0));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(WavEncoder::encode(samples, 48000)) > 0;
}

// Milliseconds of the tone a take at `rate` lacks (mono samples).
double missingMs(const std::vector<float>& take, int rate)
{
    const auto loud = [](float s) { return std::abs(s) > 0.25f; };
    const auto first = std::find_if(take.begin(), take.end(), loud);
    const auto last = std::find_if(take.rbegin(), take.rend(), loud);
    if (first == take.end())
        return kToneSeconds * 1000;
    return (kToneSeconds - double(std::distance(first, last.base())) / rate) * 1000;
}

void turnUntil(const std::function<bool()>& done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

QCoro::Task<> finishInto(AudioRecorder& recorder, std::optional<AudioRecorder::Take>& into)
{
    QCoro::Task<AudioRecorder::Take> finishing = recorder.finish();
    into = co_await std::move(finishing);
}

// One take of the tone, finished the moment a listener hears it end.
double ours(const QString& tone)
{
    QtAudioInput input(QByteArray("mic"));
    AudioRecorder recorder(input);
    std::atomic<int> buffers = 0;
    recorder.setLevelHandler([&buffers](float) { ++buffers; });
    QCoro::waitFor(recorder.start());
    turnUntil([&] { return buffers > 0; });
    std::optional<AudioRecorder::Take> take;
    ToneEndWatcher watcher([&] { finishInto(recorder, take); });
    watcher.start(QByteArray("mic"));
    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("--device=out"), tone});
    turnUntil([&] { return take.has_value(); });
    player.waitForFinished();
    if (!take)
        return kToneSeconds * 1000;
    const Samples samples = take->toSamples();
    return missingMs(std::vector<float>(samples.begin(), samples.end()), 16000);
}

// The same with a bare QAudioSource that reads all it was given and stops at that moment.
double bare(const QString& tone)
{
    QAudioDevice device;
    for (const QAudioDevice& input : QMediaDevices::audioInputs())
        if (input.id() == QByteArray("mic"))
            device = input;
    QAudioFormat format = device.preferredFormat();
    format.setSampleFormat(QAudioFormat::Float);
    QAudioSource source(device, format);
    QIODevice* stream = source.start();
    QByteArray bytes;
    QObject::connect(stream, &QIODevice::readyRead, [&] { bytes += stream->readAll(); });
    turnUntil([&] { return !bytes.isEmpty(); });
    bool stopped = false;
    ToneEndWatcher watcher([&] {
        bytes += stream->readAll();
        source.stop();
        stopped = true;
    });
    watcher.start(QByteArray("mic"));
    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("--device=out"), tone});
    turnUntil([&] { return stopped; });
    player.waitForFinished();
    // Also when the listener never heard the end: a source destroyed unstopped may read its closed
    // stream (see ToneEndWatcher).
    source.stop();
    std::vector<float> mono;
    const auto* samples = reinterpret_cast<const float*>(bytes.constData());
    const qsizetype count = bytes.size() / qsizetype(sizeof(float));
    for (qsizetype i = 0; i < count; i += format.channelCount())
        mono.push_back(samples[i]);
    return missingMs(mono, format.sampleRate());
}

void TakeEnd(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString tone = dir.filePath(QStringLiteral("tone.wav"));
    if (!writeTone(tone)) {
        state.SkipWithError("cannot write the tone");
        return;
    }
    std::vector<double> murmo;
    std::vector<double> baseline;
    for (auto _ : state) {
        for (int take = 0; take < kTakes; ++take) {
            murmo.push_back(ours(tone));
            baseline.push_back(bare(tone));
        }
    }
    const double median = BenchRatio::median(murmo);
    const double worst = *std::max_element(murmo.begin(), murmo.end());
    state.counters["median_ms"] = median;
    state.counters["max_ms"] = worst;
    std::printf("TAKE END, what a take lacks of the sound heard before its stop (%d takes): murmo median %.1f ms, max "
                "%.1f ms; bare QAudioSource median %.1f ms, max %.1f ms (target %.0f ms) %s\n",
                kTakes, median, worst, BenchRatio::median(baseline),
                *std::max_element(baseline.begin(), baseline.end()), kTargetMs,
                worst <= kTargetMs ? "ok" : "OVER TARGET");
}
BENCHMARK(TakeEnd)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runDesktopBenchmarks<QCoreApplication>(argc, argv, "bench_capture_tail", {"PULSE_SERVER"});
}

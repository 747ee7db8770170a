#include "core/audio/AudioCaptureError.h"
#include "core/audio/AudioRecorder.h"
#include "core/audio/WavEncoder.h"
#include "core/recognition/StreamingAsr.h"
#include "platform/linux/audio/QtAudioInput.h"
#include "platform/linux/pulse/PulseDefaultSource.h"
#include "tests/platform/linux/audio/ToneEndWatcher.h"
#include "tests/support/FakeStreamingGateway.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <atomic>
#include <cmath>

namespace {

constexpr int kWaitMs = 20000;

// What the capture thread reported, gathered under a mutex because the test reads it on the main
// thread.
struct Observed
{
    QMutex mutex;
    QSet<QThread*> threads;
    int levels = 0;
    float loudest = 0.0f;
    qsizetype streamed = 0;
    int chunks = 0;
};

double rms(const Samples& samples)
{
    double sum = 0.0;
    for (float s : samples)
        sum += double(s) * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A second of 440 Hz at half scale after a fifth of a second of silence, as a 48 kHz WAV.
bool writeTone(const QString& path)
{
    std::vector<float> samples(std::size_t(48000 * 1.2), 0.0f);
    for (std::size_t i = 48000 / 5; i < samples.size(); ++i)
        samples[i] = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(i) / 48000.0));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(WavEncoder::encode(samples, 48000)) > 0;
}

// How much of the tone a 16 kHz take holds, in seconds: from its first loud sample to its last.
double heardTone(const Samples& take)
{
    const auto loud = [](float s) { return std::abs(s) > 0.25f; };
    const auto first = std::find_if(take.begin(), take.end(), loud);
    const auto last = std::find_if(take.rbegin(), take.rend(), loud);
    if (first == take.end())
        return 0.0;
    return double(std::distance(first, last.base())) / 16000.0;
}

// Finishes the take the moment it is called, and keeps it once it is whole.
QCoro::Task<> finishInto(AudioRecorder& recorder, std::optional<AudioRecorder::Take>& into)
{
    QCoro::Task<AudioRecorder::Take> finishing = recorder.finish();
    into = co_await std::move(finishing);
}

} // namespace

class TestQtAudioInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            QSKIP("needs the headless desktop (scripts/with-desktop)");
    }

    void defaultSourceComesFromTheSoundServer()
    {
        // The headless desktop makes its virtual microphone the default.
        QCOMPARE(pulseDefaultSource(), QByteArray("mic"));
    }

    void spokenSentenceIsCapturedAtSixteenKilohertz()
    {
        QTemporaryDir dir;
        const QString speech = dir.filePath(QStringLiteral("speech.wav"));
        QVERIFY(run(QStringLiteral("espeak-ng"),
                    {QStringLiteral("-w"), speech, QStringLiteral("The quick brown fox jumps over the lazy dog.")}));

        QtAudioInput input;
        AudioRecorder recorder(input);
        Observed observed;
        recorder.setLevelHandler([&](float level) {
            QMutexLocker locker(&observed.mutex);
            observed.threads.insert(QThread::currentThread());
            ++observed.levels;
            observed.loudest = std::max(observed.loudest, level);
        });
        recorder.setStreamHandler([&](const Samples& chunk) {
            QMutexLocker locker(&observed.mutex);
            observed.threads.insert(QThread::currentThread());
            observed.streamed += qsizetype(chunk.size());
            ++observed.chunks;
        });

        QVERIFY(!runTask(recorder.start()).error);
        QElapsedTimer elapsed;
        elapsed.start();
        QVERIFY(run(QStringLiteral("paplay"), {QStringLiteral("--device=out"), speech}));
        QTest::qWait(300);
        const double seconds = double(elapsed.elapsed()) / 1000.0;
        // The handlers' threads while the take runs; the stream's tail comes from the stop itself.
        QSet<QThread*> capturing;
        {
            QMutexLocker locker(&observed.mutex);
            capturing = observed.threads;
        }
        const Samples samples = recorder.stop().toSamples();

        const double expected = 16000.0 * seconds;
        qInfo("captured %zu samples in %.3f s, rms %.4f", samples.size(), seconds, rms(samples));
        QVERIFY2(std::abs(double(samples.size()) - expected) <= 0.05 * expected,
                 qPrintable(QStringLiteral("%1 samples for %2 s").arg(samples.size()).arg(seconds)));
        QVERIFY2(rms(samples) > 0.01, qPrintable(QString::number(rms(samples))));

        QMutexLocker locker(&observed.mutex);
        QVERIFY(observed.levels > 0);
        QVERIFY(observed.loudest > 0.05f);
        QVERIFY(observed.chunks > 0);
        QCOMPARE(observed.streamed, qsizetype(samples.size()));
        QCOMPARE(capturing.size(), 1);
        QVERIFY(!capturing.contains(QThread::currentThread()));
        const int levelsAtStop = observed.levels;
        locker.unlock();

        // Nothing arrives once stopped.
        QTest::qWait(200);
        locker.relock();
        QCOMPARE(observed.levels, levelsAtStop);
    }

    void spokenSentenceStreamsToTheGateway()
    {
        QTemporaryDir dir;
        const QString speech = dir.filePath(QStringLiteral("speech.wav"));
        QVERIFY(run(QStringLiteral("espeak-ng"),
                    {QStringLiteral("-w"), speech, QStringLiteral("Hello from the microphone.")}));

        FakeStreamingGateway gateway;
        gateway.queueTranscript(QStringLiteral("hello from the microphone"));
        ManualClock clock;
        auto session = StreamingAsr::create(gateway.baseUrl(), QStringLiteral("device-token"), clock);
        session->start({}, QStringLiteral("en"));

        QtAudioInput input;
        AudioRecorder recorder(input);
        // As the controller installs it: the capture thread holds the session weakly.
        std::weak_ptr<StreamingAsr> weak = session;
        recorder.setStreamHandler([weak](const Samples& chunk) {
            if (auto live = weak.lock())
                live->append(chunk);
        });
        QVERIFY(!runTask(recorder.start()).error);
        QVERIFY(run(QStringLiteral("paplay"), {QStringLiteral("--device=out"), speech}));
        QTest::qWait(300);
        const Samples take = recorder.stop().toSamples();
        recorder.setStreamHandler(nullptr);

        const auto outcome = runTask(session->finish(std::chrono::seconds(12)));
        QCOMPARE(outcome.value, std::optional<QString>(QStringLiteral("hello from the microphone")));
        QVERIFY(gateway.waitForDisconnect());
        QCOMPARE(gateway.closeCode(), std::optional<int>(1000));

        // What reached the gateway is the take, less what the live converter still held at the end.
        const double sent = double(gateway.audioSamples());
        QVERIFY2(std::abs(sent - double(take.size())) < 0.05 * double(take.size()),
                 qPrintable(QStringLiteral("%1 sent, %2 taken").arg(sent).arg(take.size())));
        double sum = 0.0;
        for (const QByteArray& chunk : gateway.audioChunks())
            for (qsizetype i = 0; i + 1 < chunk.size(); i += 2) {
                const double value = qFromLittleEndian<qint16>(chunk.constData() + i) / 32767.0;
                sum += value * value;
            }
        QVERIFY(std::sqrt(sum / sent) > 0.01);
        session.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Only that the device really captures again: each take goes on until a second of sound has
    // come through, however long the device takes to start.
    void secondTakeReopensTheDevice()
    {
        QtAudioInput input(QByteArray("mic"));
        AudioRecorder recorder(input);
        std::atomic<qsizetype> streamed = 0;
        recorder.setStreamHandler([&streamed](const Samples& chunk) { streamed += qsizetype(chunk.size()); });
        for (int take = 0; take < 2; ++take) {
            streamed = 0;
            QVERIFY(!runTask(recorder.start()).error);
            QTRY_VERIFY_WITH_TIMEOUT(streamed >= 16000, kWaitMs);
            const Samples samples = recorder.stop().toSamples();
            QVERIFY2(qsizetype(samples.size()) >= 16000, qPrintable(QString::number(samples.size())));
        }
    }

    // A sound that ends as the user finishes the take is in it to its end, wherever the sound
    // server's fragments and the input's buffers happen to fall.
    void finishedTakeHoldsEverythingHeardUntilTheFinish()
    {
        QTemporaryDir dir;
        const QString tone = dir.filePath(QStringLiteral("tone.wav"));
        QVERIFY(writeTone(tone));
        QtAudioInput input(QByteArray("mic"));
        AudioRecorder recorder(input);
        std::atomic<int> buffers = 0;
        recorder.setLevelHandler([&buffers](float) { ++buffers; });
        for (int round = 0; round < 3; ++round) {
            buffers = 0;
            QVERIFY(!runTask(recorder.start()).error);
            QTRY_VERIFY_WITH_TIMEOUT(buffers > 0, kWaitMs);
            std::optional<AudioRecorder::Take> take;
            ToneEndWatcher watcher([&] { finishInto(recorder, take); });
            QVERIFY(watcher.start(QByteArray("mic")));
            QProcess player;
            player.start(QStringLiteral("paplay"), {QStringLiteral("--device=out"), tone});
            QTRY_VERIFY_WITH_TIMEOUT(take.has_value(), kWaitMs);
            const Samples samples = take->toSamples();
            const double missing = 1.0 - heardTone(samples);
            qInfo("round %d: %zu samples, %.1f ms of the tone missing", round, samples.size(), missing * 1000);
            QVERIFY2(missing <= 0.020, qPrintable(QStringLiteral("%1 ms of the tone missing").arg(missing * 1000)));
            QTRY_VERIFY_WITH_TIMEOUT(player.state() == QProcess::NotRunning, kWaitMs);
        }
    }

    void unknownDeviceIsReported()
    {
        QtAudioInput input(QByteArray("no-such-source"));
        AudioRecorder recorder(input);
        QVERIFY(runTask(recorder.start()).errorAs<AudioCaptureError>());
        QVERIFY(recorder.stop().toSamples().empty());
    }
};

MURMO_TEST(TestQtAudioInput)
#include "tst_QtAudioInput.moc"

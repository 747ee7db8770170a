#include "core/audio/AudioCaptureError.h"
#include "core/audio/AudioRecorder.h"
#include "core/audio/TakeJournal.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/FakeAudioInput.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <numbers>

namespace {

double rms(const Samples& samples, std::size_t from = 0, std::size_t to = std::numeric_limits<std::size_t>::max())
{
    to = std::min(to, samples.size());
    if (to <= from)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

// Sign changes per second: twice the frequency of a clean sine.
double zeroCrossingsPerSecond(const Samples& samples, std::size_t from, std::size_t to)
{
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if ((samples[i - 1] < 0.0f) != (samples[i] < 0.0f))
            ++crossings;
    return crossings / (double(to - from) / kRecordingSampleRate);
}

std::vector<float> constantBuffer(qsizetype frames, int channels, float value)
{
    return std::vector<float>(std::size_t(frames * channels), value);
}

} // namespace

class TestAudioRecorder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void levelOfOneBuffer_data()
    {
        QTest::addColumn<std::vector<float>>("frames");
        QTest::addColumn<int>("channels");
        QTest::addColumn<float>("expected");

        std::vector<float> sine(4096);
        for (std::size_t i = 0; i < sine.size(); ++i)
            sine[i] = float(std::sin(2.0 * std::numbers::pi * 440.0 * double(i) / 48000.0));
        std::vector<float> leftQuietRightLoud(2 * 512);
        for (std::size_t i = 0; i < 512; ++i)
            leftQuietRightLoud[2 * i + 1] = (i % 2) ? 1.0f : -1.0f;

        QTest::newRow("silence") << std::vector<float>(4096, 0.0f) << 1 << 0.0f;
        QTest::newRow("no frames") << std::vector<float>{} << 1 << 0.0f;
        QTest::newRow("full-scale sine") << sine << 1 << 1.0f;
        // (3.2 * 0.1) ^ 1.4
        QTest::newRow("rms 0.1") << std::vector<float>(1000, 0.1f) << 1 << 0.2031f;
        QTest::newRow("rms 0.3125 reaches the top") << std::vector<float>(1000, 0.3125f) << 1 << 1.0f;
        QTest::newRow("rms above the top is clamped") << std::vector<float>(1000, 0.9f) << 1 << 1.0f;
        QTest::newRow("not a number") << std::vector<float>(8, std::numeric_limits<float>::quiet_NaN()) << 1 << 0.0f;
        QTest::newRow("only the first channel counts") << leftQuietRightLoud << 2 << 0.0f;
    }

    void levelOfOneBuffer()
    {
        QFETCH(std::vector<float>, frames);
        QFETCH(int, channels);
        QFETCH(float, expected);
        const float level = AudioRecorder::level(frames.data(), qsizetype(frames.size()) / channels, channels);
        QVERIFY2(std::abs(level - expected) < 0.001f, qPrintable(QString::number(level)));
    }

    void takeBecomesSixteenKilohertzMono_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<qsizetype>("bufferFrames");

        QTest::newRow("48 kHz mono") << 48000 << 1 << qsizetype(4096);
        QTest::newRow("44.1 kHz mono") << 44100 << 1 << qsizetype(4096);
        QTest::newRow("44.1 kHz stereo") << 44100 << 2 << qsizetype(4096);
        QTest::newRow("48 kHz stereo, uneven buffers") << 48000 << 2 << qsizetype(1000);
        QTest::newRow("16 kHz mono") << 16000 << 1 << qsizetype(4096);
        QTest::newRow("96 kHz mono") << 96000 << 1 << qsizetype(4800);
    }

    void takeBecomesSixteenKilohertzMono()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(qsizetype, bufferFrames);

        FakeAudioInput input({rate, channels});
        AudioRecorder recorder(input);
        recorder.start();
        input.deliverSine(3.0, 0.5f, bufferFrames, 440.0);
        const AudioRecorder::Take take = recorder.stop();
        const Samples samples = take.toSamples();

        // 3 s of input is 48,000 samples whatever the rate; the filter adds or loses only a few.
        QVERIFY2(std::abs(qsizetype(samples.size()) - 48000) <= 48, qPrintable(QString::number(samples.size())));
        // The stop judges a take's length before converting it.
        QVERIFY(std::abs(take.expectedSamples() - qsizetype(samples.size())) <= 48);
        // The tone survives: same loudness, same pitch (880 sign changes a second for 440 Hz).
        const std::size_t from = 1600;
        const std::size_t to = samples.size() - 1600;
        QVERIFY2(std::abs(rms(samples, from, to) - 0.5 / std::sqrt(2.0)) < 0.01,
                 qPrintable(QString::number(rms(samples, from, to))));
        QVERIFY(std::abs(zeroCrossingsPerSecond(samples, from, to) - 880.0) < 5.0);
        QVERIFY(!input.isStarted());
    }

    void channelsAreAveragedIntoOne()
    {
        FakeAudioInput input({48000, 2});
        AudioRecorder recorder(input);
        recorder.start();
        std::vector<float> frames(2 * 48000);
        for (std::size_t i = 0; i < 48000; ++i) {
            frames[2 * i] = 0.6f;
            frames[2 * i + 1] = 0.2f;
        }
        input.deliver(frames);
        const Samples samples = recorder.stop().toSamples();
        QVERIFY(samples.size() > 8000);
        QVERIFY(std::abs(samples[samples.size() / 2] - 0.4f) < 0.001f);
    }

    void stopWithoutStartGivesNothing()
    {
        FakeAudioInput input;
        AudioRecorder recorder(input);
        QVERIFY(recorder.stop().toSamples().empty());
        QCOMPARE(input.startCount(), 0);
        // A start afterwards works as usual.
        recorder.start();
        input.deliverSine(0.5, 0.5f);
        QVERIFY(std::abs(qsizetype(recorder.stop().toSamples().size()) - 8000) <= 16);
    }

    void secondStartBeginsAFreshTake()
    {
        FakeAudioInput input({48000, 1});
        AudioRecorder recorder(input);
        recorder.start();
        input.deliverSine(1.0, 0.5f);
        recorder.start();
        input.deliver(constantBuffer(24000, 1, 0.0f));
        const Samples samples = recorder.stop().toSamples();
        QCOMPARE(input.startCount(), 1);
        QVERIFY2(std::abs(qsizetype(samples.size()) - 8000) <= 16, qPrintable(QString::number(samples.size())));
        // Only the silence after the second start is in it.
        QVERIFY(rms(samples) < 0.001);
    }

    void buffersOutsideATakeAreIgnored()
    {
        FakeAudioInput input({48000, 1});
        AudioRecorder recorder(input);
        int levels = 0;
        std::size_t streamed = 0;
        recorder.setLevelHandler([&](float) { ++levels; });
        recorder.setStreamHandler([&](const Samples& chunk) { streamed += chunk.size(); });

        recorder.start();
        input.deliverSine(1.0, 0.5f, 4800);
        QCOMPARE(levels, 10);

        // The device hands over one more buffer while it is being stopped: it is not measured,
        // streamed or kept; the stream ends with the take, tail and all.
        input.deliverDuringStop(constantBuffer(48000, 1, 0.9f));
        const Samples samples = recorder.stop().toSamples();
        QCOMPARE(levels, 10);
        QCOMPARE(streamed, samples.size());
        QVERIFY(std::abs(qsizetype(samples.size()) - 16000) <= 16);
        QVERIFY(rms(samples, 0, samples.size()) < 0.4);
    }

    // Finishing, unlike stopping, waits for what the device still has on its way and keeps it.
    void finishKeepsTheFramesStillOnTheirWay()
    {
        FakeAudioInput input({48000, 1});
        AudioRecorder recorder(input);
        int levels = 0;
        recorder.setLevelHandler([&](float) { ++levels; });
        recorder.start();
        input.deliverSine(1.0, 0.5f, 4800);
        input.deliverDuringStop(constantBuffer(24000, 1, 0.9f));
        const std::optional<AudioRecorder::Take> take = runTask(recorder.finish()).value;
        QVERIFY(take);
        QCOMPARE(levels, 11);
        QVERIFY(!input.isStarted());
        const Samples samples = take->toSamples();
        QVERIFY2(std::abs(qsizetype(samples.size()) - 24000) <= 16, qPrintable(QString::number(samples.size())));
        QVERIFY(rms(samples, 17000, 23000) > 0.85);
        // The next take starts afresh.
        recorder.start();
        input.deliverSine(0.5, 0.5f);
        QVERIFY(std::abs(qsizetype(recorder.stop().toSamples().size()) - 8000) <= 16);
    }

    void levelsAndStreamAreFedPerBuffer()
    {
        FakeAudioInput input({44100, 2});
        AudioRecorder recorder(input);
        std::vector<float> levels;
        Samples streamed;
        int chunks = 0;
        recorder.setLevelHandler([&](float level) { levels.push_back(level); });
        recorder.setStreamHandler([&](const Samples& chunk) {
            QVERIFY(!chunk.empty());
            ++chunks;
            streamed.insert(streamed.end(), chunk.begin(), chunk.end());
        });

        recorder.start();
        input.deliver(constantBuffer(4096, 2, 0.0f));
        input.deliverSine(2.0, 1.0f, 4096);
        const Samples take = recorder.stop().toSamples();

        QCOMPARE(levels.front(), 0.0f);
        QCOMPARE(levels.back(), 1.0f);
        QCOMPARE(qsizetype(levels.size()), 1 + qsizetype(std::ceil(2.0 * 44100 / 4096)));
        QVERIFY(chunks >= int(levels.size()) - 1);
        // The live stream is the whole take, the filter's tail included.
        QCOMPARE(streamed.size(), take.size());
        QVERIFY(streamed == take);
        QVERIFY(std::abs(zeroCrossingsPerSecond(streamed, 4000, streamed.size() - 100) - 880.0) < 5.0);
    }

    void clearedStreamHandlerStillKeepsTheTakeAndLevels()
    {
        FakeAudioInput input({48000, 1});
        AudioRecorder recorder(input);
        int levels = 0;
        int chunks = 0;
        recorder.setLevelHandler([&](float) { ++levels; });
        recorder.setStreamHandler([&](const Samples&) { ++chunks; });
        recorder.setStreamHandler(nullptr);

        recorder.start();
        input.deliverSine(1.0, 0.5f, 4800);
        const Samples samples = recorder.stop().toSamples();
        QCOMPARE(chunks, 0);
        QCOMPARE(levels, 10);
        QVERIFY(std::abs(qsizetype(samples.size()) - 16000) <= 16);
    }

    void handlersLastAcrossTakes()
    {
        FakeAudioInput input({48000, 1});
        AudioRecorder recorder(input);
        int levels = 0;
        recorder.setLevelHandler([&](float) { ++levels; });
        for (int take = 0; take < 2; ++take) {
            recorder.start();
            input.deliverSine(0.1, 0.5f, 4800);
            recorder.stop();
        }
        QCOMPARE(levels, 2);
        QCOMPARE(input.startCount(), 2);
        recorder.setLevelHandler(nullptr);
        recorder.start();
        input.deliverSine(0.1, 0.5f, 4800);
        recorder.stop();
        QCOMPARE(levels, 2);
    }

    void inputThatCannotStartThrowsAndStartsNoTake_data()
    {
        QTest::addColumn<bool>("failInPrepare");
        QTest::newRow("no device") << true;
        QTest::newRow("device refuses to open") << false;
    }

    void inputThatCannotStartThrowsAndStartsNoTake()
    {
        QFETCH(bool, failInPrepare);
        FakeAudioInput input({48000, 1});
        AudioRecorder recorder(input);
        int levels = 0;
        recorder.setLevelHandler([&](float) { ++levels; });
        const QString reason = QStringLiteral("麦克风被占用");
        if (failInPrepare)
            input.failNextPrepare(reason);
        else
            input.failNextStart(reason);

        const std::optional<AudioCaptureError> error = runTask(recorder.start()).errorAs<AudioCaptureError>();
        QVERIFY(error);
        QCOMPARE(error->description(), reason);
        input.deliverSine(0.5, 0.5f);
        QCOMPARE(levels, 0);
        QVERIFY(recorder.stop().toSamples().empty());

        // The next start tries the device again.
        recorder.start();
        QCOMPARE(input.prepareCount(), 2);
        input.deliverSine(0.5, 0.5f);
        QVERIFY(std::abs(qsizetype(recorder.stop().toSamples().size()) - 8000) <= 16);
    }

    // A sound server may take seconds to open the stream: nobody waits for it, a stop meanwhile
    // closes the input once it is open, and a start right behind that stop takes the same open.
    void slowOpenIsNeverWaitedFor_data()
    {
        QTest::addColumn<QString>("meanwhile"); // "", "stop", "stop and start", "failure"
        QTest::newRow("opens") << QString();
        QTest::newRow("stopped while opening") << QStringLiteral("stop");
        QTest::newRow("stopped and started again while opening") << QStringLiteral("stop and start");
        QTest::newRow("refuses after a while") << QStringLiteral("failure");
    }

    void slowOpenIsNeverWaitedFor()
    {
        QFETCH(QString, meanwhile);
        FakeAudioInput input({16000, 1});
        AudioRecorder recorder(input);
        input.holdOpens(true);
        if (meanwhile == QLatin1String("failure"))
            input.failNextStart(QStringLiteral("设备忙"));
        QCoro::Task<void> started = recorder.start();
        QVERIFY(recorder.isOpening());
        QVERIFY(input.isOpening());
        input.deliverSine(0.5, 0.5f); // nothing flows before the open
        std::optional<QCoro::Task<void>> again;
        if (meanwhile.startsWith(QLatin1String("stop"))) {
            QVERIFY(recorder.stop().buffers.empty());
            QCOMPARE(input.stopCount(), 0);
        }
        if (meanwhile == QLatin1String("stop and start"))
            again = recorder.start();
        input.openHeld();
        const TaskOutcome<void> outcome = runTask(std::move(again ? *again : started));
        QVERIFY(!recorder.isOpening());
        if (meanwhile == QLatin1String("failure")) {
            QVERIFY(outcome.errorAs<AudioCaptureError>());
            QVERIFY(recorder.stop().buffers.empty());
            return;
        }
        QVERIFY(!outcome.error);
        QCOMPARE(input.stopCount(), meanwhile == QLatin1String("stop") ? 1 : 0);
        QCOMPARE(input.isStarted(), meanwhile != QLatin1String("stop"));
        input.deliverSine(0.5, 0.5f);
        QCOMPARE(qsizetype(recorder.stop().toSamples().size()), meanwhile == QLatin1String("stop") ? 0 : 8000);
    }

    // Every take is on disk while it runs: a program killed now leaves a file that reads back as
    // the take. The file stays with the take until its holder lets go.
    void takeIsJournalledWhileItRuns()
    {
        QTemporaryDir dir;
        FakeAudioInput input({48000, 2});
        AudioRecorder recorder(input);
        recorder.setJournalDirectory(dir.path());
        recorder.start();
        input.deliverSine(0.5, 0.3f, 4800);
        const QStringList files = TakeJournal::leftIn(dir.path());
        QCOMPARE(files.size(), 1);
        const qint64 complete = 16 + qint64(24000 * sizeof(qint16));
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(files.first()).size(), complete, kWaitMs);
        // What a kill would leave behind.
        const QString left = dir.filePath(QStringLiteral("left") + TakeJournal::kSuffix);
        QVERIFY(QFile::copy(files.first(), left));

        AudioRecorder::Take stopped = recorder.stop();
        QVERIFY(QFile::exists(files.first()));
        const Samples take = stopped.toSamples();
        stopped.journal.reset();
        QVERIFY(!QFile::exists(files.first()));
        const std::optional<TakeJournal::Left> back = TakeJournal::readBack(left);
        QVERIFY(back);
        QVERIFY(std::abs(qsizetype(back->samples.size()) - qsizetype(take.size())) <= 16);
        QVERIFY(std::abs(rms(back->samples) - rms(take)) < 0.005);
    }
};

MURMO_TEST(TestAudioRecorder)
#include "tst_AudioRecorder.moc"

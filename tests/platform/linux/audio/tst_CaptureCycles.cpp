#include "core/audio/AudioRecorder.h"
#include "platform/linux/audio/QtAudioInput.h"
#include "tests/support/TestRegistry.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace {

constexpr int kCycles = 300;
// Cycles stop early past this, so the test stays well under a minute on a slow machine.
constexpr qint64 kCyclesBudgetMs = 25000;
constexpr int kCycleWaitMs = 20000;

// Runs a recorder call to its end on the event loop and counts it once it is over, whatever it
// threw.
template <typename T> QCoro::Task<> settle(QCoro::Task<T> task, int& over)
{
    try {
        co_await std::move(task);
    } catch (...) {
    }
    ++over;
}

// The microphone as the cycles want it: held at short fragments by a listener of its own, so that
// a take's stream opens in milliseconds instead of after the server's long first block, and sent
// to sleep and woken over and over while it lives, so that streams open and end on a source that
// stalls at any moment.
class StallingSource
{
public:
    explicit StallingSource(const QString& source)
        : m_flag(m_dir.filePath(QStringLiteral("stalling")))
    {
        m_listener.setStandardOutputFile(QProcess::nullDevice());
        m_listener.start(QStringLiteral("parec"),
                         {QStringLiteral("--device=") + source, QStringLiteral("--latency-msec=5")});
        QFile(m_flag).open(QIODevice::WriteOnly);
        // The loop ends of itself once the flag is gone, the source awake: a pactl killed midway
        // could still send it to sleep after the test woke it.
        m_stalls.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                              QStringLiteral("while [ -e \"$1\" ]; do pactl suspend-source \"$2\" 1; "
                                                             "pactl suspend-source \"$2\" 0; sleep 0.1; done"),
                                              QStringLiteral("sh"), m_flag, source});
    }
    ~StallingSource()
    {
        QFile::remove(m_flag);
        m_stalls.waitForFinished();
        m_listener.kill();
        m_listener.waitForFinished();
    }

private:
    QTemporaryDir m_dir;
    QString m_flag;
    QProcess m_listener;
    QProcess m_stalls;
};

} // namespace

class TestCaptureCycles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            QSKIP("needs the headless desktop (scripts/with-desktop)");
    }

    // Takes started and ended at random moments (while the device opens, just after, a little
    // later; stopped, finished, finished with the next take asked for at once) on a source that
    // keeps stalling: every take ends, nothing is delivered after a take's end, and the device
    // still captures afterwards.
    void takesEndedAtRandomMomentsLeaveTheDeviceWorking()
    {
        QtAudioInput input(QByteArray("mic"));
        AudioRecorder recorder(input);
        std::atomic<bool> ended = true;
        std::atomic<int> buffers = 0;
        std::atomic<int> late = 0;
        recorder.setLevelHandler([&](float) {
            ++buffers;
            if (ended)
                ++late;
        });
        QRandomGenerator random(20261208);
        QElapsedTimer elapsed;
        elapsed.start();
        int cycles = 0;
        int starts = 0;
        int finishes = 0;
        int startsOver = 0;
        int finishesOver = 0;
        {
            const StallingSource stalling(QStringLiteral("mic"));
            for (; cycles < kCycles && elapsed.elapsed() < kCyclesBudgetMs; ++cycles) {
                const int kind = random.bounded(4);
                // A stop while the take before still finishes would end that one, not this.
                if (kind == 0)
                    QVERIFY(QTest::qWaitFor([&] { return finishesOver == finishes; }, kCycleWaitMs));
                ended = false;
                settle(recorder.start(), startsOver);
                ++starts;
                if (kind == 0)
                    recorder.stop();
                QVERIFY(QTest::qWaitFor([&] { return startsOver == starts; }, kCycleWaitMs));
                if (kind == 0) {
                    ended = true;
                    continue;
                }
                QTest::qWait(random.bounded(20));
                if (kind == 1) {
                    recorder.stop();
                    ended = true;
                    continue;
                }
                settle(recorder.finish(), finishesOver);
                ++finishes;
                // The next take is asked for while this one still collects its last frames.
                if (kind == 3)
                    continue;
                QVERIFY(QTest::qWaitFor([&] { return finishesOver == finishes; }, kCycleWaitMs));
                ended = true;
            }
            QVERIFY(QTest::qWaitFor([&] { return finishesOver == finishes; }, kCycleWaitMs));
            recorder.stop();
            ended = true;
        }
        qInfo("%d takes in %lld ms", cycles, elapsed.elapsed());
        QCOMPARE(late.load(), 0);

        ended = false;
        settle(recorder.start(), startsOver);
        QVERIFY(QTest::qWaitFor([&] { return startsOver == starts + 1; }, kCycleWaitMs));
        const int before = buffers;
        QVERIFY(QTest::qWaitFor([&] { return buffers > before + 2; }, kCycleWaitMs));
        QVERIFY(!recorder.stop().buffers.empty());
    }
};

MURMO_TEST(TestCaptureCycles)
#include "tst_CaptureCycles.moc"

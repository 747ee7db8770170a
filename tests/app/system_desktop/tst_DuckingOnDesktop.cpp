#include "app/desktop/AudioDucker.h"
#include "platform/linux/pulse/PulseOutputVolume.h"
#include "tests/app/system_desktop/Pactl.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

// The null sink "out" of the headless desktop stands for the user's speakers.
class DuckingOnDesktopTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!Pactl::run({"info"}).isEmpty(), "no sound server: run under scripts/with-desktop");
        QVERIFY(Pactl::run({"get-default-sink"}).trimmed() == QLatin1String("out"));
    }

    void readsAndSetsTheDefaultSink()
    {
        QVERIFY(Pactl::setSinkVolume("out", 64));
        PulseOutputVolume volume;
        const auto reading = volume.defaultOutput();
        QVERIFY(reading);
        QCOMPARE(reading->sink, QStringLiteral("out"));
        QVERIFY(reading->settable);
        QVERIFY(std::abs(reading->volume - 0.64f) < 0.005f);
        QVERIFY(volume.setVolume("out", 0.37f));
        QCOMPARE(Pactl::sinkVolume("out"), 37);
        QVERIFY(!volume.setVolume("no-such-sink", 0.5f));
    }

    void keepsTheBalanceBetweenChannels()
    {
        QVERIFY(Pactl::run({"set-sink-volume", "out", "80%", "40%"}).isEmpty());
        QCOMPARE(Pactl::sinkVolumes("out"), (QList<int>{80, 40}));
        PulseOutputVolume volume;
        QVERIFY(std::abs(volume.defaultOutput()->volume - 0.8f) < 0.005f);
        QVERIFY(volume.setVolume("out", 0.2f));
        QCOMPARE(Pactl::sinkVolumes("out"), (QList<int>{20, 10}));
    }

    void ducksToTwentyAndBack()
    {
        QVERIFY(Pactl::setSinkVolume("out", 80));
        PulseOutputVolume volume;
        AudioDucker ducker(volume, stateFile());
        ducker.duck();
        QCOMPARE(Pactl::sinkVolume("out"), 20);
        ducker.restore();
        QCOMPARE(Pactl::sinkVolume("out"), 80);
    }

    void theUsersVolumeDuringTheRecordingStays()
    {
        QVERIFY(Pactl::setSinkVolume("out", 80));
        PulseOutputVolume volume;
        AudioDucker ducker(volume, stateFile());
        ducker.duck();
        QCOMPARE(Pactl::sinkVolume("out"), 20);
        QVERIFY(Pactl::setSinkVolume("out", 50));
        ducker.restore();
        QCOMPARE(Pactl::sinkVolume("out"), 50);
        QVERIFY(!ducker.saved());
    }

    void aQuietOutputIsLeftAlone()
    {
        QVERIFY(Pactl::setSinkVolume("out", 25));
        PulseOutputVolume volume;
        AudioDucker ducker(volume, stateFile());
        ducker.duck();
        QCOMPARE(Pactl::sinkVolume("out"), 25);
        QVERIFY(!ducker.saved());
        QVERIFY(!QFile::exists(stateFile()));
        ducker.restore();
        QCOMPARE(Pactl::sinkVolume("out"), 25);
    }

    void aCrashWhileDuckedIsRepairedAtTheNextStart()
    {
        QVERIFY(Pactl::setSinkVolume("out", 80));
        PulseOutputVolume volume;
        {
            AudioDucker crashed(volume, stateFile());
            crashed.duck();
        }
        QCOMPARE(Pactl::sinkVolume("out"), 20);
        QVERIFY(QFile::exists(stateFile()));

        AudioDucker next(volume, stateFile());
        next.restoreAfterCrash();
        QCOMPARE(Pactl::sinkVolume("out"), 80);
        QVERIFY(!QFile::exists(stateFile()));
    }

    void aCrashRepairNeverLandsOnAnotherSink()
    {
        QVERIFY(Pactl::setSinkVolume("out", 80));
        PulseOutputVolume volume;
        {
            AudioDucker crashed(volume, stateFile());
            crashed.duck();
        }
        const QString module = Pactl::run({"load-module", "module-null-sink", "sink_name=other"}).trimmed();
        QVERIFY(!module.isEmpty());
        QVERIFY(Pactl::run({"set-default-sink", "other"}).isEmpty());
        QVERIFY(Pactl::setSinkVolume("other", 20));

        AudioDucker next(volume, stateFile());
        next.restoreAfterCrash();
        QCOMPARE(Pactl::sinkVolume("other"), 20);
        QCOMPARE(Pactl::sinkVolume("out"), 20);
        QVERIFY(!QFile::exists(stateFile()));

        Pactl::run({"set-default-sink", "out"});
        Pactl::run({"unload-module", module});
        QVERIFY(Pactl::setSinkVolume("out", 100));
    }

    void aMissingServerAnswersQuickly()
    {
        const QByteArray server = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/pulse/native");
        PulseOutputVolume volume(300ms);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!volume.defaultOutput());
        QVERIFY(!volume.setVolume("out", 0.5f));
        qputenv("PULSE_SERVER", server);
        QVERIFY(timer.elapsed() < 1500);
    }

    void cleanupTestCase() { Pactl::setSinkVolume("out", 100); }

private:
    QString stateFile() const { return m_dir.filePath("ducked-volume.json"); }
    QTemporaryDir m_dir;
};

MURMO_TEST(DuckingOnDesktopTest)
#include "tst_DuckingOnDesktop.moc"

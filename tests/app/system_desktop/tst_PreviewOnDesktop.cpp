#include "app/feedback/AudioPreview.h"
#include "core/audio/AudioStorage.h"
#include "platform/linux/audio/QtSoundOutput.h"
#include "tests/app/system_desktop/MonitorRecorder.h"
#include "tests/app/system_desktop/Pactl.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/TestRegistry.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

// A stored recording played through the real sound output: heard on the sink, and the player
// goes back to idle by itself when the sound ends.
class PreviewOnDesktopTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!Pactl::run({"info"}).isEmpty(), "no sound server: run under scripts/with-desktop");
        QVERIFY(Pactl::setSinkVolume("out", 100));
    }

    void playsARecordingToTheEndAndGoesIdle()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("take.ogg");
        Samples tone(16000 * 6 / 10); // 0.6 s
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.5f * float(std::sin(2.0 * M_PI * 440.0 * double(i) / 16000.0));
        QVERIFY(AudioStorage::write(tone, path));

        MonitorRecorder recorder;
        QVERIFY(recorder.start());
        QTRY_VERIFY_WITH_TIMEOUT(recorder.sampleCount() > MonitorRecorder::rate / 5, kWaitMs);
        const qsizetype from = recorder.sampleCount();

        QtSoundOutput output;
        AudioPreview preview(output);
        const QUuid id = QUuid::createUuid();
        QElapsedTimer elapsed;
        elapsed.start();
        preview.play(path, id);
        QCOMPARE(preview.currentId(), id);
        QTRY_VERIFY_WITH_TIMEOUT(!preview.isPlaying(), kWaitMs);
        QVERIFY2(elapsed.elapsed() >= 550, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(!preview.currentId());

        QTRY_VERIFY_WITH_TIMEOUT(recorder.sampleCount() > from + MonitorRecorder::rate * 3 / 2, kWaitMs);
        const std::vector<double> heard = recorder.samples(from);
        const auto found = bursts(heard, 0.05);
        QVERIFY(!found.empty());
        // The sound as heard, without the gaps a starved player leaves on a busy machine.
        qsizetype loud = 0;
        for (const auto& [first, last] : found)
            loud += last - first + 1;
        const double heardMs = double(loud) * 1000.0 / MonitorRecorder::rate;
        QVERIFY2(heardMs > 450 && heardMs < 700, qPrintable(QString::number(heardMs)));
        const double pitch = dominantFrequency(heard, found.front().first, found.back().second, 200, 1000);
        QVERIFY2(std::abs(pitch - 440) < 10, qPrintable(QString::number(pitch)));
    }
};

MURMO_TEST(PreviewOnDesktopTest)
#include "tst_PreviewOnDesktop.moc"

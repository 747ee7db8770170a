#include "app/feedback/AudioPreview.h"
#include "core/audio/AudioStorage.h"
#include "core/audio/WavEncoder.h"
#include "tests/support/FakeSoundOutput.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QMutex>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QtEndian>

#include <map>
#include <memory>

namespace {

// A loader that holds each file's load until the test lets it finish, so the order in which
// loads end is the test's choice.
struct GatedLoader
{
    struct Gate
    {
        QSemaphore open;
        QSemaphore started;
    };
    QMutex mutex;
    std::map<QString, std::shared_ptr<Gate>> gates;

    std::shared_ptr<Gate> gate(const QString& path)
    {
        QMutexLocker lock(&mutex);
        auto& g = gates[path];
        if (!g)
            g = std::make_shared<Gate>();
        return g;
    }

    AudioPreview::Loader loader()
    {
        return [this](const QString& path) {
            const auto g = gate(path);
            g->started.release();
            g->open.acquire();
            return imageFor(path);
        };
    }

    static QByteArray imageFor(const QString& path)
    {
        // A different length per file, so the image shows which file it came from.
        const Samples samples(size_t(100 + path.size()), 0.25f);
        return WavEncoder::encode(samples, 16000);
    }
};

// Waits for every load to end and for its result to reach the player, so that a load the player
// must drop has had its chance to do harm.
bool loadsHaveEnded()
{
    if (!QThreadPool::globalInstance()->waitForDone(20000))
        return false;
    QCoreApplication::processEvents();
    return true;
}

quint32 rateOf(const QByteArray& wav)
{
    return qFromLittleEndian<quint32>(wav.constData() + 24);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class AudioPreviewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadsThenPlaysAndEndsIdle()
    {
        FakeSoundOutput output;
        GatedLoader gated;
        AudioPreview preview(output, gated.loader());
        QSignalSpy changes(&preview, &AudioPreview::stateChanged);
        const QUuid id = QUuid::createUuid();
        preview.play("a.ogg", id);
        QVERIFY(preview.isPlaying());
        QCOMPARE(preview.currentId(), id);
        QVERIFY(output.made().empty());

        gated.gate("a.ogg")->open.release();
        QTRY_COMPARE_WITH_TIMEOUT(output.made().size(), size_t(1), 20000);
        QCOMPARE(output.made()[0]->wav, GatedLoader::imageFor("a.ogg"));
        QCOMPARE(output.made()[0]->events, QList<QString>{"play 1"});
        QVERIFY(preview.isPlaying());

        output.sound(0)->finish();
        QTRY_VERIFY_WITH_TIMEOUT(!preview.isPlaying(), 20000);
        QVERIFY(!preview.currentId());
        QVERIFY(output.made()[0]->destroyed);
        QVERIFY(changes.count() >= 2);
    }

    void onlyTheNewestRequestPlays()
    {
        FakeSoundOutput output;
        GatedLoader gated;
        AudioPreview preview(output, gated.loader());
        const QUuid a = QUuid::createUuid();
        const QUuid b = QUuid::createUuid();
        preview.play("first-a.ogg", a);
        QVERIFY(gated.gate("first-a.ogg")->started.tryAcquire(1, 20000));
        preview.play("b.ogg", b);
        gated.gate("b.ogg")->open.release();
        QTRY_COMPARE_WITH_TIMEOUT(output.made().size(), size_t(1), 20000);
        // A's load ends last and is dropped.
        gated.gate("first-a.ogg")->open.release();
        QVERIFY(loadsHaveEnded());
        QCOMPARE(output.made().size(), size_t(1));
        QCOMPARE(output.made()[0]->wav, GatedLoader::imageFor("b.ogg"));
        QCOMPARE(preview.currentId(), b);
        QVERIFY(preview.isPlaying());
    }

    void stopWhileLoadingDropsTheLoad()
    {
        FakeSoundOutput output;
        GatedLoader gated;
        AudioPreview preview(output, gated.loader());
        preview.play("a.ogg", QUuid::createUuid());
        preview.stop();
        QVERIFY(!preview.isPlaying());
        QVERIFY(!preview.currentId());
        gated.gate("a.ogg")->open.release();
        QVERIFY(loadsHaveEnded());
        QVERIFY(output.made().empty());
        QVERIFY(!preview.isPlaying());
    }

    void playingAgainReplacesTheSoundAndIgnoresItsLateEnd()
    {
        FakeSoundOutput output;
        GatedLoader gated;
        AudioPreview preview(output, gated.loader());
        const QUuid a = QUuid::createUuid();
        const QUuid b = QUuid::createUuid();
        preview.play("a.ogg", a);
        gated.gate("a.ogg")->open.release();
        QTRY_COMPARE_WITH_TIMEOUT(output.made().size(), size_t(1), 20000);
        // A's end is already on its way when B is asked for.
        output.sound(0)->finish();
        preview.play("b.ogg", b);
        QVERIFY(output.made()[0]->destroyed);
        gated.gate("b.ogg")->open.release();
        QTRY_COMPARE_WITH_TIMEOUT(output.made().size(), size_t(2), 20000);
        QCoreApplication::processEvents();
        QVERIFY(preview.isPlaying());
        QCOMPARE(preview.currentId(), b);
    }

    void aRefusedImageEndsIdle()
    {
        FakeSoundOutput output;
        output.refuse = true;
        GatedLoader gated;
        AudioPreview preview(output, gated.loader());
        preview.play("a.ogg", QUuid::createUuid());
        gated.gate("a.ogg")->open.release();
        QTRY_VERIFY_WITH_TIMEOUT(!preview.isPlaying(), 20000);
        QVERIFY(!preview.currentId());
    }

    void unplayableFilesEndIdle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty ogg") << "empty.ogg" << QByteArray();
        QTest::newRow("corrupt ogg") << "corrupt.ogg" << QByteArray("OggS\0\0garbage garbage garbage", 29);
        QTest::newRow("text as ogg") << "notes.ogg" << QByteArray("hello, this is not audio");
        QTest::newRow("corrupt wav") << "broken.wav" << QByteArray("RIFF\x10\0\0\0WAVEjunk", 16);
        QTest::newRow("missing file") << "" << QByteArray();
    }

    void unplayableFilesEndIdle()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QString path = dir.filePath("gone.ogg");
        if (!name.isEmpty()) {
            path = dir.filePath(name);
            writeFile(path, content);
        }
        FakeSoundOutput output;
        AudioPreview preview(output);
        preview.play(path, QUuid::createUuid());
        QVERIFY(preview.isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!preview.isPlaying(), 20000);
        QVERIFY(!preview.currentId());
        QVERIFY(output.made().empty());
    }

    void theExtensionChoosesTheWay_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("rate");
        QTest::newRow("ogg decodes to 16 kHz") << "take.ogg" << 16000u;
        QTest::newRow("OGG in capitals decodes too") << "take.OGG" << 16000u;
        QTest::newRow("wav plays as it is") << "take.wav" << 44100u;
    }

    void theExtensionChoosesTheWay()
    {
        QFETCH(QString, name);
        QFETCH(quint32, rate);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        // A WAV file whichever the name: the recording files read by content, so the Ogg way
        // resamples it, while the plain way keeps its rate.
        Samples tone(4410);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.5f * float(std::sin(2.0 * M_PI * 440.0 * double(i) / 44100.0));
        writeFile(path, WavEncoder::encode(tone, 44100));
        FakeSoundOutput output;
        AudioPreview preview(output);
        preview.play(path, QUuid::createUuid());
        QTRY_COMPARE_WITH_TIMEOUT(output.made().size(), size_t(1), 20000);
        QCOMPARE(rateOf(output.made()[0]->wav), rate);
        const qsizetype samples = (output.made()[0]->wav.size() - 44) / 2;
        const qsizetype expected = rate == 16000u ? 1600 : 4410;
        QVERIFY2(std::abs(samples - expected) <= 16, qPrintable(QString::number(samples)));
    }

    void aRealRecordingDecodes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("take.ogg");
        Samples speechLike(16000);
        for (size_t i = 0; i < speechLike.size(); ++i)
            speechLike[i] = 0.3f * float(std::sin(2.0 * M_PI * 220.0 * double(i) / 16000.0));
        QVERIFY(AudioStorage::write(speechLike, path));
        FakeSoundOutput output;
        AudioPreview preview(output);
        preview.play(path, QUuid::createUuid());
        QTRY_COMPARE_WITH_TIMEOUT(output.made().size(), size_t(1), 20000);
        QCOMPARE(rateOf(output.made()[0]->wav), 16000u);
        QVERIFY(std::abs((output.made()[0]->wav.size() - 44) / 2 - 16000) <= 960);
    }

    void destroyingThePlayerWhileLoadingIsSafe()
    {
        FakeSoundOutput output;
        GatedLoader gated;
        {
            AudioPreview preview(output, gated.loader());
            preview.play("a.ogg", QUuid::createUuid());
        }
        gated.gate("a.ogg")->open.release();
        QVERIFY(loadsHaveEnded());
        QVERIFY(output.made().empty());
    }
};

MURMO_TEST(AudioPreviewTest)
#include "tst_AudioPreview.moc"

#include "core/audio/SoundFile.h"
#include "core/ogg/OGGConverter.h"
#include "core/ogg/OGGConverterError.h"
#include "core/ogg/OGGDecoder.h"
#include "core/ogg/OpusError.h"
#include "tests/core/ogg/OggPages.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

using namespace OggPages;

namespace {

// A file in any container libsndfile writes, for sources our own encoder would never make.
bool writeSoundFile(const QString& path, const SoundFile::Audio<float>& audio)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    bool refused = false;
    QString error;
    return SoundFile::writeFloat(file.handle(), SoundFile::majorFormatForFileName(path), audio, &refused, &error);
}

template <typename Call> std::optional<OGGConverterError> failureOf(Call call)
{
    try {
        call();
    } catch (const OGGConverterError& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace

class TestOGGConverter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
    }

    void wavToOpusAndBack()
    {
        QVERIFY(writeFile(path("take.wav"), WavEncoder::encode(speechLike(16000), 16000)));
        OGGConverter::convertAudioFileToOpusOGG(path("take.wav"), path("take.ogg"));
        const QByteArray ogg = readFile(path("take.ogg"));
        const std::optional<QList<Page>> pages = parse(ogg);
        QVERIFY(pages);
        // The pre-skip of 6.5 ms, then the second; nothing after it.
        QCOMPARE(pages->back().granulePosition, 312 + 48000);
        QVERIFY(pages->back().endOfStream());

        OGGConverter::convertOpusOGGToWavFile(path("take.ogg"), path("back.wav"));
        const std::optional<SoundFile::Audio<float>> back = SoundFile::readFloat(readFile(path("back.wav")));
        QVERIFY(back);
        QCOMPARE(back->sampleRate, 16000);
        QCOMPARE(back->channels, 1);
        QCOMPARE(back->frames(), 16000);
        QCOMPARE(readFile(path("back.wav")).left(4), QByteArray("RIFF"));
    }

    void otherContainersAndLayouts()
    {
        // A stereo FLAC at 48 kHz stays stereo at 48 kHz through both conversions.
        const std::vector<float> mono = speechLike(4800, 48000);
        SoundFile::Audio<float> stereo{{}, 48000, 2};
        for (const float s : mono)
            stereo.interleaved.insert(stereo.interleaved.end(), {s, -s});
        QVERIFY(writeSoundFile(path("music.flac"), stereo));
        OGGConverter::convertAudioFileToOpusOGG(path("music.flac"), path("music.ogg"));
        OGGDecoder decoder(readFile(path("music.ogg")));
        QCOMPARE(decoder.sampleRate, 48000);
        QCOMPARE(decoder.numChannels, 2);
        QCOMPARE(decoder.pcmData.size(), size_t(4800 * 2));

        OGGConverter::convertOpusOGGToWavFile(path("music.ogg"), path("music.flac"));
        const std::optional<SoundFile::Audio<float>> back = SoundFile::readFloat(readFile(path("music.flac")));
        QVERIFY(back);
        QCOMPARE(back->channels, 2);
        QCOMPARE(back->frames(), 4800);
        QCOMPARE(readFile(path("music.flac")).left(4), QByteArray("fLaC"));
    }

    void failuresAreTypedAndLeaveTheDestinationAlone_data()
    {
        QTest::addColumn<bool>("toOpus");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("fromOpusLayer");
        const int other = int(OGGConverterError::Kind::Other);
        const QByteArray speech = WavEncoder::encode(speechLike(16000), 16000);
        QTest::newRow("missing source") << true << QByteArray() << "out.ogg" << other << false;
        QTest::newRow("not audio") << true << QByteArray("plain text, not a sound") << "out.ogg" << other << false;
        QTest::newRow("no frames") << true << WavEncoder::encode({}, 16000) << "out.ogg"
                                   << int(OGGConverterError::Kind::FailedToCreatePCMBuffer) << false;
        QTest::newRow("rate Opus cannot take")
            << true << WavEncoder::encode(speechLike(4410), 44100) << "out.ogg" << other << true;
        QTest::newRow("WAV given as Opus") << false << speech << "out.wav" << other << true;
        QTest::newRow("truncated Opus") << false << QByteArray("OggS\x00\x02", 6) << "out.wav" << other << true;
        QTest::newRow("unknown destination type") << false << QByteArray() << "out.xyz" << other << false;
        QTest::newRow("container without PCM")
            << false << QByteArray() << "out.oga" << int(OGGConverterError::Kind::FailedToCreateChannelLayout) << false;
    }

    void failuresAreTypedAndLeaveTheDestinationAlone()
    {
        QFETCH(bool, toOpus);
        QFETCH(QByteArray, source);
        QFETCH(QString, destination);
        QFETCH(int, kind);
        QFETCH(bool, fromOpusLayer);
        QString src = path("missing");
        if (!source.isEmpty()) {
            src = path("source");
            QVERIFY(writeFile(src, source));
        } else if (!toOpus && destination != QLatin1String("out.wav")) {
            // A good Opus file, so that only the destination can fail.
            src = path("good.ogg");
            QVERIFY(writeFile(path("good.wav"), WavEncoder::encode(speechLike(3200), 16000)));
            OGGConverter::convertAudioFileToOpusOGG(path("good.wav"), src);
        }
        const QString dest = m_dir.filePath(destination);
        QVERIFY(writeFile(dest, "what was there before"));

        if (!source.isEmpty() && !toOpus && source.startsWith("RIFF"))
            QTest::ignoreMessage(QtWarningMsg, "Does not look like an opus file.");
        if (source.startsWith("OggS"))
            QTest::ignoreMessage(QtWarningMsg, "Does not look like an opus file.");
        const std::optional<OGGConverterError> error = failureOf([&] {
            if (toOpus)
                OGGConverter::convertAudioFileToOpusOGG(src, dest);
            else
                OGGConverter::convertOpusOGGToWavFile(src, dest);
        });
        QVERIFY(error);
        QCOMPARE(int(error->kind()), kind);
        QVERIFY(!error->description().isEmpty());
        bool opusCause = false;
        if (error->cause()) {
            try {
                std::rethrow_exception(error->cause());
            } catch (const OpusError&) {
                opusCause = true;
            } catch (...) {
            }
        }
        QCOMPARE(opusCause, fromOpusLayer);
        QCOMPARE(readFile(dest), QByteArray("what was there before"));
        // No temporary file of an interrupted replacement is left behind.
        const QStringList left = QDir(m_dir.path()).entryList(QDir::Files);
        for (const QString& name : left)
            QVERIFY2(!name.startsWith(destination + QLatin1Char('.')), qPrintable(name));
    }
};

MURMO_TEST(TestOGGConverter)
#include "tst_OGGConverter.moc"

#include "core/audio/AudioStorage.h"
#include "core/audio/SoundFile.h"
#include "core/audio/WavEncoder.h"
#include "core/ogg/OGGConverter.h"
#include "core/ogg/OGGDecoder.h"
#include "tests/core/audio/AllocationCounter.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <cmath>

namespace {

std::vector<float> speech(size_t count, int rate = 16000)
{
    std::vector<float> out(count);
    double phase = 0;
    for (size_t i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        phase += 2 * M_PI * (150 + 30 * std::sin(2 * M_PI * 0.5 * t)) / rate;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
        out[i] = float(0.3 * envelope * (std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.25 * std::sin(3 * phase)));
    }
    return out;
}

double similarity(const std::vector<float>& a, const std::vector<float>& b)
{
    double best = 0;
    for (size_t lag = 0; lag <= 200; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i < 16000 && i + lag < b.size() && i < a.size(); ++i) {
            ab += double(a[i]) * b[i + lag];
            aa += double(a[i]) * a[i];
            bb += double(b[i + lag]) * b[i + lag];
        }
        if (aa > 0 && bb > 0)
            best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

// Speech on every channel, each a little quieter than the one before, as interleaved 16-bit PCM.
QByteArray interleavedPcm16(size_t frames, int rate, int channels)
{
    const std::vector<float> mono = speech(frames, rate);
    QByteArray out(qsizetype(frames) * channels * 2, Qt::Uninitialized);
    auto* pcm = reinterpret_cast<int16_t*>(out.data());
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c)
            pcm[i * size_t(channels) + size_t(c)] = int16_t(std::lround(mono[i] * 32767.0f / float(c + 1)));
    }
    return out;
}

} // namespace

class TestAudioStorage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_temp;
    QByteArray m_savedTmpDir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_temp.isValid());
        // A private temporary directory, so that anything left there can only be ours.
        m_savedTmpDir = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
        QCOMPARE(QDir::tempPath(), m_temp.path());
    }

    void cleanup()
    {
        QCOMPARE(QDir(m_temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void cleanupTestCase() { qputenv("TMPDIR", m_savedTmpDir); }

    void nothingToWrite()
    {
        QVERIFY(!AudioStorage::write({}, path(QStringLiteral("empty.ogg"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("empty.ogg"))));
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("expected");
        QTest::newRow("one second") << 16000 << 16000;
        QTest::newRow("partial last packet kept") << 16000 + 319 << 16000 + 319;
        QTest::newRow("ten minutes") << 16000 * 600 << 16000 * 600;
    }

    void roundTrip()
    {
        QFETCH(int, samples);
        QFETCH(int, expected);
        const std::vector<float> input = speech(size_t(samples));
        const QString file = path(QStringLiteral("5F0E8C0A-8D5B-4B8F-9C55-0D6D2B1E7A11.ogg"));
        QVERIFY(AudioStorage::write(input, file));
        const QByteArray bytes = readFile(file);
        QCOMPARE(bytes.left(4), QByteArray("OggS"));
        // Compressed: a small fraction of the 16-bit PCM.
        QVERIFY(bytes.size() < qsizetype(samples) * 2 / 5);

        const Samples read = AudioStorage::readSamples(file);
        QCOMPARE(qsizetype(read.size()), qsizetype(expected));
        QVERIFY(similarity(input, read) > 0.9);
    }

    void replacesAnExistingFileWhole()
    {
        const QString file = path(QStringLiteral("replace.ogg"));
        QVERIFY(writeFile(file, QByteArray(100000, 'x')));
        QVERIFY(AudioStorage::write(speech(3200), file));
        QCOMPARE(AudioStorage::readSamples(file).size(), size_t(3200));
    }

    void anUnwritableDestinationFails()
    {
        const QString file = path(QStringLiteral("no-such-folder/take.ogg"));
        QVERIFY(!AudioStorage::write(speech(3200), file));
        QVERIFY(!QFile::exists(file));
    }

    void readingPicksTheDecoderByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");
        const std::vector<float> second = speech(16000);
        QTest::newRow("uncompressed fallback under .ogg")
            << "fallback.ogg" << WavEncoder::encode(second, 16000) << 16000;
        QTest::newRow("WAV at 8 kHz") << "slow.wav" << WavEncoder::encode(speech(8000, 8000), 8000) << 16000;
        QTest::newRow("WAV at 44.1 kHz") << "cd.wav" << WavEncoder::encode(speech(44100, 44100), 44100) << 16000;
        const QString seed = path(QStringLiteral("seed.ogg"));
        QVERIFY(AudioStorage::write(second, seed));
        QTest::newRow("Opus under an upper-case extension") << "LOUD.OGG" << readFile(seed) << 16000;
        QTest::newRow("Opus under .wav") << "opus.wav" << readFile(seed) << 16000;
        QTest::newRow("missing file") << "missing.ogg" << QByteArray() << 0;
        QTest::newRow("empty file") << "empty.ogg" << QByteArray("") << 0;
        QTest::newRow("text") << "notes.ogg" << QByteArray("not audio at all") << 0;
        QTest::newRow("Ogg that is not Opus") << "broken.ogg" << QByteArray("OggS garbage garbage garbage") << 0;
    }

    void readingPicksTheDecoderByContent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        if (!bytes.isNull())
            QVERIFY(writeFile(path(name), bytes));
        if (bytes.startsWith("OggS "))
            QTest::ignoreMessage(QtWarningMsg, "Does not look like an opus file.");
        const Samples read = AudioStorage::readSamples(path(name));
        // Resampling may round the length by a sample or two.
        QVERIFY2(std::abs(qsizetype(read.size()) - expected) <= 2, qPrintable(QString::number(read.size())));
        if (expected > 0)
            QVERIFY(similarity(speech(16000), read) > 0.9);
    }

    void recordingsOfEarlierVersionsReadAsBefore()
    {
        // Pre-skip 0, no end-of-stream page, the last 160 samples never encoded: every packet
        // comes back whole, as it always did.
        const QString legacy = QFINDTESTDATA("../ogg/data/legacy-recording.ogg");
        QVERIFY(!legacy.isEmpty());
        const Samples read = AudioStorage::readSamples(legacy);
        QCOMPARE(read.size(), size_t(16000));
        QVERIFY(read == OGGDecoder(readFile(legacy)).pcmData);
        QVERIFY(similarity(speech(16000), read) > 0.9);
    }

    void fallbackRecordingReadsBackExactly()
    {
        // What the write fallback stores: the 16-bit image, readable sample for sample.
        const std::vector<float> input = speech(4000);
        const QString file = path(QStringLiteral("exact.ogg"));
        QVERIFY(writeFile(file, WavEncoder::encode(input, 16000)));
        const Samples read = AudioStorage::readSamples(file);
        QCOMPARE(read.size(), input.size());
        for (size_t i = 0; i < input.size(); ++i)
            QVERIFY(std::abs(read[i] - input[i]) <= 1.5f / 32767.0f);
    }

    void stereoIsMixedToMono()
    {
        SoundFile::Audio<float> stereo{{}, 16000, 2};
        for (const float s : speech(16000))
            stereo.interleaved.insert(stereo.interleaved.end(), {s, s * 0.5f});
        const QString file = path(QStringLiteral("stereo.wav"));
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            bool refused = false;
            QString error;
            QVERIFY(
                SoundFile::writeFloat(out.handle(), SoundFile::majorFormatForFileName(file), stereo, &refused, &error));
        }
        const Samples read = AudioStorage::readSamples(file);
        QCOMPARE(read.size(), size_t(16000));
        const std::vector<float> input = speech(16000);
        for (size_t i = 0; i < read.size(); i += 97)
            QVERIFY(std::abs(read[i] - input[i] * 0.75f) < 1e-5f);
    }

    void opusIsConvertedAsItDecodes_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("16 kHz mono") << 16000 << 1;
        QTest::newRow("16 kHz stereo") << 16000 << 2;
        QTest::newRow("24 kHz mono") << 24000 << 1;
        QTest::newRow("48 kHz stereo") << 48000 << 2;
    }

    void opusIsConvertedAsItDecodes()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        const QByteArray ogg =
            OGGConverter::encodeOpusOGG(interleavedPcm16(size_t(rate) * 20, rate, channels), rate, channels);
        const QString file = path(QStringLiteral("source-format.ogg"));
        QVERIFY(writeFile(file, ogg));
        Samples whole;
        {
            // Decoded whole at its own rate first, then converted: the same filter over the same
            // samples, only all at once.
            OGGDecoder decoder(ogg);
            whole = SoundFile::toRecordingRate(decoder.pcmData, decoder.sampleRate, decoder.numChannels);
        }

        AllocationCounter::resetPeak();
        const qint64 before = AllocationCounter::live();
        const Samples read = AudioStorage::readSamples(file);
        const qint64 held = AllocationCounter::peak() - before;
        QCOMPARE(read.size(), whole.size());
        QVERIFY(read == whole);
        // What reading holds at its worst, the file's own bytes included, next to what it returns.
        const double ratio = double(held + ogg.size()) / double(read.size() * sizeof(float));
        QVERIFY2(ratio <= 1.5, qPrintable(QString::number(ratio)));
    }

    void chainedLinksOfAnyFormat()
    {
        // Three seconds at 16 kHz mono, then two at 48 kHz stereo: five seconds of recording.
        const QByteArray chain = OGGConverter::encodeOpusOGG(interleavedPcm16(16000 * 3, 16000, 1), 16000, 1) +
                                 OGGConverter::encodeOpusOGG(interleavedPcm16(48000 * 2, 48000, 2), 48000, 2);
        const QString file = path(QStringLiteral("chain.ogg"));
        QVERIFY(writeFile(file, chain));
        const Samples read = AudioStorage::readSamples(file);
        QVERIFY2(std::abs(qsizetype(read.size()) - 16000 * 5) <= 2, qPrintable(QString::number(read.size())));
        QVERIFY(similarity(speech(16000), read) > 0.9);
        // The second link starts over with the same speech, mixed down from two channels.
        const std::vector<float> second(read.begin() + 16000 * 3, read.end());
        const std::vector<float> expected = speech(16000);
        std::vector<float> mixed(expected.size());
        std::transform(expected.begin(), expected.end(), mixed.begin(), [](float s) { return s * 0.75f; });
        QVERIFY(similarity(mixed, second) > 0.9);
    }

    void manyRecordingsAtOnce()
    {
        QList<int> lengths{3200, 6400, 16000, 1600, 8000, 32000};
        const QList<bool> results = QtConcurrent::blockingMapped(lengths, [this](int length) {
            const QString file = path(QStringLiteral("parallel-%1.ogg").arg(length));
            return AudioStorage::write(speech(size_t(length)), file) &&
                   AudioStorage::readSamples(file).size() == size_t(length);
        });
        QCOMPARE(results, QList<bool>(lengths.size(), true));
    }
};

MURMO_TEST(TestAudioStorage)
#include "tst_AudioStorage.moc"

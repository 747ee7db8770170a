// Our streams checked by the reference tools from opus-tools, and theirs read by our decoder.
#include "core/audio/SoundFile.h"
#include "core/ogg/OGGConverter.h"
#include "core/ogg/OGGDecoder.h"
#include "tests/core/ogg/OggPages.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace OggPages;

namespace {

struct Run
{
    int exitCode = -1;
    QString output;
};

Run run(const QString& tool, const QStringList& arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        qFatal("%s is missing; scripts/install-deps installs opus-tools", qPrintable(tool));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

} // namespace

class TestOpusTools : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void referenceToolsAcceptOurStreams_data()
    {
        QTest::addColumn<int>("samples");
        QTest::addColumn<QString>("playbackLength");
        QTest::newRow("one second") << 16000 << QStringLiteral("0m:01.000s");
        QTest::newRow("a second and a bit") << 16100 << QStringLiteral("0m:01.006s");
        QTest::newRow("seventy seconds") << 16000 * 70 << QStringLiteral("1m:10.000s");
        QTest::newRow("a few milliseconds") << 100 << QStringLiteral("0m:00.006s");
    }

    void referenceToolsAcceptOurStreams()
    {
        QFETCH(int, samples);
        QFETCH(QString, playbackLength);
        QVERIFY(m_dir.isValid());
        const std::vector<float> input = speechLike(size_t(samples));
        const QString ogg = m_dir.filePath(QStringLiteral("ours.ogg"));
        QVERIFY(writeFile(ogg, OGGConverter::encodeOpusOGG(pcm16(input), 16000, 1)));

        // opusinfo exits non-zero on any warning or error.
        const Run info = run(QStringLiteral("opusinfo"), {ogg});
        QVERIFY2(info.exitCode == 0, qPrintable(info.output));
        QVERIFY2(!info.output.contains(QStringLiteral("WARNING")) && !info.output.contains(QStringLiteral("ERROR")),
                 qPrintable(info.output));
        QVERIFY2(info.output.contains(QStringLiteral("Pre-skip: 312\n")), qPrintable(info.output));
        QVERIFY2(info.output.contains(QStringLiteral("Channels: 1\n")), qPrintable(info.output));
        QVERIFY2(info.output.contains(QStringLiteral("Original sample rate: 16000 Hz\n")), qPrintable(info.output));
        QVERIFY2(
            info.output.contains(QStringLiteral("Packet duration:   20.0ms (max),   20.0ms (avg),   20.0ms (min)")),
            qPrintable(info.output));
        QVERIFY2(info.output.contains(QStringLiteral("Playback length: ") + playbackLength), qPrintable(info.output));

        const QString wav = m_dir.filePath(QStringLiteral("theirs.wav"));
        const Run decode = run(QStringLiteral("opusdec"), {QStringLiteral("--quiet"), QStringLiteral("--rate"),
                                                           QStringLiteral("16000"), ogg, wav});
        QVERIFY2(decode.exitCode == 0, qPrintable(decode.output));
        const std::optional<SoundFile::Audio<float>> theirs = SoundFile::readFloat(readFile(wav));
        QVERIFY(theirs);
        QCOMPARE(theirs->sampleRate, 16000);
        QCOMPARE(theirs->channels, 1);
        QCOMPARE(theirs->frames(), qsizetype(samples));

        const OGGDecoder ours(readFile(ogg));
        QCOMPARE(qsizetype(ours.pcmData.size()), qsizetype(samples));
        // Both start on the first sample: theirs and ours are the same audio, in step.
        if (samples >= 16000)
            QVERIFY(bestCorrelation(input, theirs->interleaved, 0) > 0.9);
    }

    void opusencFilesDecodeToTheirExactLength_data()
    {
        // Samples per link; each link is a separate opusenc run, the files simply concatenated.
        QTest::addColumn<QList<int>>("links");
        QTest::newRow("one link") << QList<int>{16000 * 2 + 123};
        QTest::newRow("two chained links") << QList<int>{16000 + 77, 8000 + 5};
    }

    void opusencFilesDecodeToTheirExactLength()
    {
        QFETCH(QList<int>, links);
        QVERIFY(m_dir.isValid());
        std::vector<float> input;
        QByteArray chain;
        for (const int samples : links) {
            const std::vector<float> link = speechLike(size_t(samples));
            const QString wav = m_dir.filePath(QStringLiteral("speech.wav"));
            const QString ogg = m_dir.filePath(QStringLiteral("speech.opus"));
            QVERIFY(writeFile(wav, WavEncoder::encode(link, 16000)));
            const Run encode = run(QStringLiteral("opusenc"), {QStringLiteral("--quiet"), wav, ogg});
            QVERIFY2(encode.exitCode == 0, qPrintable(encode.output));
            chain += readFile(ogg);
            input.insert(input.end(), link.begin(), link.end());
        }
        const QString ogg = m_dir.filePath(QStringLiteral("chain.opus"));
        QVERIFY(writeFile(ogg, chain));
        const QString wav = m_dir.filePath(QStringLiteral("theirs.wav"));
        const Run decode = run(QStringLiteral("opusdec"), {QStringLiteral("--quiet"), QStringLiteral("--rate"),
                                                           QStringLiteral("16000"), ogg, wav});
        QVERIFY2(decode.exitCode == 0, qPrintable(decode.output));
        const std::optional<SoundFile::Audio<float>> theirs = SoundFile::readFloat(readFile(wav));
        QVERIFY(theirs);
        QCOMPARE(theirs->frames(), qsizetype(input.size()));

        // Pre-skip at the start of each link and the end trim its last granule position sets.
        OGGDecoder decoder(chain);
        QCOMPARE(decoder.sampleRate, 16000);
        QCOMPARE(decoder.numChannels, 1);
        QCOMPARE(qsizetype(decoder.pcmData.size()), qsizetype(input.size()));
        QVERIFY(bestCorrelation(input, decoder.pcmData, 40) > 0.9);
    }
};

MURMO_TEST(TestOpusTools)
#include "tst_OpusTools.moc"

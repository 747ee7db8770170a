// Our streams checked by the reference tools from opus-tools, and theirs read by our decoder.
#include "core/audio/SoundFile.h"
#include "core/ogg/OGGDecoder.h"
#include "core/ogg/OGGEncoder.h"
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
        QTest::newRow("a second and a bit") << 16100 << QStringLiteral("0m:01.000s");
        QTest::newRow("seventy seconds") << 16000 * 70 << QStringLiteral("1m:10.000s");
    }

    void referenceToolsAcceptOurStreams()
    {
        QFETCH(int, samples);
        QFETCH(QString, playbackLength);
        QVERIFY(m_dir.isValid());
        OGGEncoder encoder(16000, 1, 2, 16000, OGGEncoder::Application::Audio);
        encoder.encode(pcm16(speechLike(size_t(samples))));
        const QString ogg = m_dir.filePath(QStringLiteral("ours.ogg"));
        QVERIFY(writeFile(ogg, encoder.bitstream(true)));

        const Run info = run(QStringLiteral("opusinfo"), {ogg});
        // opusinfo exits non-zero on any warning. Two are expected by design: pre-skip 0 (the
        // encoder does not delay what it is given, so a reader keeps every sample) and no
        // end-of-stream flag (a recording never marks its last page). Anything else is a fault.
        const QStringList expectedWarnings{
            QStringLiteral("WARNING: Implausibly low preskip in Opus stream (1)"),
            QStringLiteral("WARNING: EOS not set on stream 1 (normal for live streams)")};
        QVERIFY2(info.exitCode >= 0, qPrintable(info.output));
        for (const QString& line : info.output.split(QLatin1Char('\n'))) {
            if (line.contains(QStringLiteral("WARNING")) || line.contains(QStringLiteral("ERROR")))
                QVERIFY2(expectedWarnings.contains(line.trimmed()), qPrintable(line));
        }
        QVERIFY2(info.output.contains(QStringLiteral("Pre-skip: 0\n")), qPrintable(info.output));
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
        const std::optional<SoundFile::Audio<float>> audio = SoundFile::readFloat(readFile(wav));
        QVERIFY(audio);
        QCOMPARE(audio->sampleRate, 16000);
        QCOMPARE(audio->channels, 1);
        QCOMPARE(audio->frames(), qsizetype(samples / 320 * 320));
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

// Our streams checked by the reference tools from opus-tools, and theirs read by our decoder.
#include "core/audio/SoundFile.h"
#include "core/ogg/OGGDecoder.h"
#include "core/ogg/OGGEncoder.h"
#include "tests/core/ogg/OggPages.h"
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

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

    void ourDecoderReadsOpusenc()
    {
        QVERIFY(m_dir.isValid());
        const std::vector<float> input = speechLike(16000 * 2 + 123);
        const QString wav = m_dir.filePath(QStringLiteral("speech.wav"));
        const QString ogg = m_dir.filePath(QStringLiteral("speech.opus"));
        QVERIFY(writeFile(wav, WavEncoder::encode(input, 16000)));
        const Run encode = run(QStringLiteral("opusenc"), {QStringLiteral("--quiet"), wav, ogg});
        QVERIFY2(encode.exitCode == 0, qPrintable(encode.output));

        OGGDecoder decoder(readFile(ogg));
        QCOMPARE(decoder.sampleRate, 16000);
        QCOMPARE(decoder.numChannels, 1);
        // opusenc starts with a pre-skip and ends its last packet wherever the input ended; our
        // reader trims by whole packets, so at most one packet's worth is left over.
        QVERIFY2(decoder.pcmData.size() >= input.size() && decoder.pcmData.size() < input.size() + 320,
                 qPrintable(QString::number(decoder.pcmData.size())));
        QVERIFY(bestCorrelation(input, decoder.pcmData, 40) > 0.9);
    }
};

MURMO_TEST(TestOpusTools)
#include "tst_OpusTools.moc"

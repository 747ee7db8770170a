#include "core/recognition/PcmChunk.h"
#include "core/recognition/StreamingCommitRule.h"
#include "core/recognition/StreamingEvent.h"
#include "core/recognition/StreamingVocabulary.h"
#include "tests/support/TestRegistry.h"

#include <QTest>
#include <QtEndian>

#include <limits>

Q_DECLARE_METATYPE(StreamingEvent::Kind)

class TestStreamingPieces : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pcmIsClampedAndTruncated()
    {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const PcmChunk chunk =
            PcmChunk::encode(Samples{0.0f, 1.0f, -1.0f, 0.5f, 2.0f, -2.0f, nan, -0.5f, 0.99999f, -0.00002f});
        const QList<qint16> expected{0, 32767, -32767, 16383, 32767, -32767, 32767, -16383, 32766, 0};

        const QByteArray pcm = QByteArray::fromBase64(chunk.base64, QByteArray::AbortOnBase64DecodingErrors);
        QCOMPARE(pcm.size(), 2 * expected.size());
        QList<qint16> decoded;
        for (qsizetype i = 0; i < expected.size(); ++i)
            decoded.append(qFromLittleEndian<qint16>(pcm.constData() + 2 * i));
        QCOMPARE(decoded, expected);
        QCOMPARE(chunk.sampleCount, qsizetype(10));
        // Standard alphabet, no line breaks.
        QVERIFY(!chunk.base64.contains('\n'));
    }

    void pcmBytesAreLittleEndian()
    {
        // 0.5 * 32767 = 16383.5 -> 16383 = 0x3FFF; -1 -> -32767 = 0x8001.
        QCOMPARE(PcmChunk::encode(Samples{0.5f, -1.0f}).base64, QByteArray("/z8BgA=="));
    }

    void quietChunks_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<bool>("quiet");
        QTest::newRow("empty") << Samples{} << true;
        QTest::newRow("silence") << Samples(1600, 0.0f) << true;
        QTest::newRow("just under the threshold") << Samples(1600, 0.0119f) << true;
        QTest::newRow("just over the threshold") << Samples(1600, 0.0121f) << false;
        QTest::newRow("speech") << Samples(1600, 0.3f) << false;
        QTest::newRow("one loud sample in silence") << Samples{0.0f, 0.0f, 0.0f, 0.5f} << false;
    }

    void quietChunks()
    {
        QFETCH(Samples, samples);
        QFETCH(bool, quiet);
        const PcmChunk chunk = PcmChunk::encode(samples);
        QCOMPARE(chunk.quiet, quiet);
        QCOMPARE(chunk.base64.isEmpty(), samples.empty());
    }

    // Capture buffers of 85 ms. The script is what follows `loudBefore` loud buffers: L loud,
    // Q quiet, E an empty buffer. commitAfter is the 1-based buffer of the whole run that the
    // commit follows, 0 for none.
    void commitsOnlyInAPause_data()
    {
        QTest::addColumn<int>("loudBefore");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("commitAfter");
        // 353 buffers of 1360 samples are just past 30 s.
        QTest::newRow("gap between two words") << 353 << "QLLQLL" << 0;
        QTest::newRow("255 ms is still inside a phrase") << 353 << "QQQL" << 0;
        QTest::newRow("340 ms is a pause") << 353 << "QQQQL" << 357;
        QTest::newRow("a word breaks the run") << 353 << "QQLQQL" << 0;
        QTest::newRow("pause begun before 30 s") << 350 << "QQQQQL" << 354;
        QTest::newRow("pause before 30 s alone is too early") << 340 << "QQQQLLLLLLLLLLLLL" << 0;
        QTest::newRow("empty buffers add no quiet") << 353 << "QQQEEEEL" << 0;
        QTest::newRow("empty buffers do not break a pause") << 353 << "QQEQQ" << 358;
        QTest::newRow("55 s without a pause") << 646 << "LLLL" << 648;
    }

    void commitsOnlyInAPause()
    {
        QFETCH(int, loudBefore);
        QFETCH(QString, script);
        QFETCH(int, commitAfter);
        constexpr qsizetype kBuffer = 1360;
        StreamingCommitRule rule;
        int committedAfter = 0;
        const QString run = QString(loudBefore, QLatin1Char('L')) + script;
        for (qsizetype i = 0; i < run.size() && committedAfter == 0; ++i) {
            const QChar kind = run[i];
            if (rule.add(kind == QLatin1Char('E') ? 0 : kBuffer, kind != QLatin1Char('L')))
                committedAfter = int(i + 1);
        }
        QCOMPARE(committedAfter, commitAfter);
        if (commitAfter != 0)
            QCOMPARE(rule.samplesSinceCommit(), qsizetype(0));
    }

    void events_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<StreamingEvent::Kind>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stash");
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QString>("message");
        using K = StreamingEvent::Kind;
        const QString none;

        QTest::newRow("ready") << R"({"type":"session.updated","session":{}})" << K::SessionUpdated << none << none
                               << none << none;
        QTest::newRow("live text")
            << R"({"type":"conversation.item.input_audio_transcription.text","text":"你好","stash":"世界"})" << K::Text
            << "你好"
            << "世界" << none << none;
        QTest::newRow("live text with a lone surrogate")
            << R"({"type":"conversation.item.input_audio_transcription.text","text":"a\ud800b","stash":""})" << K::Text
            << QStringLiteral("a\uFFFDb") << "" << none << none;
        QTest::newRow("live text with odd members")
            << R"({"type":"conversation.item.input_audio_transcription.text","text":5,"stash":null})" << K::Text << ""
            << "" << none << none;
        QTest::newRow("completed")
            << R"({"type":"conversation.item.input_audio_transcription.completed","transcript":"好的"})" << K::Completed
            << none << none << "好的" << none;
        QTest::newRow("completed without transcript")
            << R"({"type":"conversation.item.input_audio_transcription.completed"})" << K::Completed << none << none
            << "" << none;
        QTest::newRow("error") << R"({"type":"error","error":{"message":"quota exceeded","code":1}})" << K::Error
                               << none << none << none << "quota exceeded";
        QTest::newRow("error without message")
            << R"({"type":"error","error":{}})" << K::Error << none << none << none << "未知错误";
        QTest::newRow("error message not a string")
            << R"({"type":"error","error":{"message":42}})" << K::Error << none << none << none << "未知错误";
        QTest::newRow("error not an object")
            << R"({"type":"error","error":"boom"})" << K::Error << none << none << none << "未知错误";
        QTest::newRow("unknown type") << R"({"type":"session.created"})" << K::Ignored << none << none << none << none;
        QTest::newRow("type not a string") << R"({"type":1})" << K::Ignored << none << none << none << none;
        QTest::newRow("no type") << R"({"text":"x"})" << K::Ignored << none << none << none << none;
        QTest::newRow("array") << R"([{"type":"session.updated"}])" << K::Ignored << none << none << none << none;
        QTest::newRow("not json") << "session.updated" << K::Ignored << none << none << none << none;
        QTest::newRow("empty") << "" << K::Ignored << none << none << none << none;
    }

    void events()
    {
        QFETCH(QString, frame);
        QFETCH(StreamingEvent::Kind, kind);
        QFETCH(QString, text);
        QFETCH(QString, stash);
        QFETCH(QString, transcript);
        QFETCH(QString, message);
        const StreamingEvent event = StreamingEvent::parse(frame);
        QCOMPARE(event.kind, kind);
        QCOMPARE(event.text, text);
        QCOMPARE(event.stash, stash);
        QCOMPARE(event.transcript, transcript);
        QCOMPARE(event.message, message);
    }

    void vocabularyBecomesPromptAndTerms()
    {
        const StreamingVocabulary vocabulary({QStringLiteral("Foo Bar"), QStringLiteral("x-1"), QStringLiteral("--")});
        QCOMPARE(vocabulary.corpusText(), QStringLiteral("专有名词: Foo Bar, x-1, --"));
        QCOMPARE(vocabulary.corpusTerms(), (QSet<QString>{QStringLiteral("foobar"), QStringLiteral("x1")}));

        const StreamingVocabulary empty;
        QCOMPARE(empty.corpusText(), QString());
        QVERIFY(empty.corpusTerms().isEmpty());
    }

    void corpusEchoes_data()
    {
        QTest::addColumn<QStringList>("vocabulary");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("echo");
        const QStringList fooBar{QStringLiteral("Foo Bar"), QStringLiteral("x-1")};

        QTest::newRow("the prompt in other punctuation and case") << fooBar << "专有名词：foo bar，x-1。" << true;
        QTest::newRow("only the terms") << fooBar << "FooBar x1" << true;
        QTest::newRow("terms repeated") << fooBar << "x1, x-1, foo bar" << true;
        QTest::newRow("a term inside speech") << fooBar << "请打开 Foo Bar 的设置" << false;
        QTest::newRow("punctuation only") << fooBar << "。，" << false;
        QTest::newRow("empty") << fooBar << "" << false;
        QTest::newRow("no vocabulary") << QStringList{} << "专有名词: " << false;
        QTest::newRow("longest term first")
            << QStringList{QStringLiteral("ab"), QStringLiteral("abc")} << "abcab" << true;
        QTest::newRow("prompt with a word left over") << fooBar << "专有名词 foo bar x1 谢谢" << false;
    }

    void corpusEchoes()
    {
        QFETCH(QStringList, vocabulary);
        QFETCH(QString, text);
        QFETCH(bool, echo);
        QCOMPARE(StreamingVocabulary(vocabulary).isCorpusEcho(text), echo);
    }
};

MURMO_TEST(TestStreamingPieces)
#include "tst_StreamingPieces.moc"

#include "core/recognition/AsrError.h"
#include "tests/core/recognition/StreamingHarness.h"
#include "tests/support/TestRegistry.h"

#include <QTest>
#include <QThread>
#include <QtEndian>

using namespace std::chrono_literals;

namespace {

const QString kAppend = QStringLiteral("input_audio_buffer.append");
const QString kCommit = QStringLiteral("input_audio_buffer.commit");
const QString kFinish = QStringLiteral("session.finish");

qint16 firstSample(const QByteArray& pcm)
{
    return pcm.size() >= 2 ? qFromLittleEndian<qint16>(pcm.constData()) : qint16(0);
}

} // namespace

class TestStreamingAsr : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endpointComesFromTheGatewayUrl_data()
    {
        QTest::addColumn<QUrl>("gateway");
        QTest::addColumn<QUrl>("expected");
        QTest::newRow("https") << QUrl("https://gw.example.com/api/") << QUrl("wss://gw.example.com/v1/asr-stream");
        QTest::newRow("port and query kept") << QUrl("https://gw.example.com:8443/x?region=cn")
                                             << QUrl("wss://gw.example.com:8443/v1/asr-stream?region=cn");
        QTest::newRow("loopback stays plain")
            << QUrl("http://127.0.0.1:5000/") << QUrl("ws://127.0.0.1:5000/v1/asr-stream");
        QTest::newRow("remote http is upgraded")
            << QUrl("http://gw.example.com/") << QUrl("wss://gw.example.com/v1/asr-stream");
    }

    void endpointComesFromTheGatewayUrl()
    {
        QFETCH(QUrl, gateway);
        QFETCH(QUrl, expected);
        ManualClock clock;
        QCOMPARE(StreamingAsr::create(gateway, QStringLiteral("token"), clock)->url(), expected);
    }

    void configurationIsSentFirst_data()
    {
        QTest::addColumn<QStringList>("vocabulary");
        QTest::addColumn<std::optional<QString>>("hint");
        QTest::addColumn<QString>("expected");
        QTest::newRow("neither")
            << QStringList{} << std::optional<QString>()
            << R"({"session":{"input_audio_format":"pcm","input_audio_transcription":{},"modalities":["text"],"sample_rate":16000,"turn_detection":null},"type":"session.update"})";
        QTest::newRow("hint only")
            << QStringList{} << std::optional<QString>(QStringLiteral("zh"))
            << R"({"session":{"input_audio_format":"pcm","input_audio_transcription":{"language":"zh"},"modalities":["text"],"sample_rate":16000,"turn_detection":null},"type":"session.update"})";
        QTest::newRow("empty hint is still sent")
            << QStringList{} << std::optional<QString>(QString())
            << R"({"session":{"input_audio_format":"pcm","input_audio_transcription":{"language":""},"modalities":["text"],"sample_rate":16000,"turn_detection":null},"type":"session.update"})";
        QTest::newRow("vocabulary and hint")
            << QStringList{QStringLiteral("Foo Bar"), QStringLiteral("x-1")}
            << std::optional<QString>(QStringLiteral("en"))
            << R"({"session":{"input_audio_format":"pcm","input_audio_transcription":{"corpus":{"text":"专有名词: Foo Bar, x-1"},"language":"en"},"modalities":["text"],"sample_rate":16000,"turn_detection":null},"type":"session.update"})";
    }

    void configurationIsSentFirst()
    {
        QFETCH(QStringList, vocabulary);
        QFETCH(std::optional<QString>, hint);
        QFETCH(QString, expected);
        StreamingHarness h;
        QVERIFY(h.start(vocabulary, hint));
        QCOMPARE(h.gateway.rawMessages().value(0), expected);
        QCOMPARE(h.gateway.handshake().url().path(), QStringLiteral("/v1/asr-stream"));
        QCOMPARE(h.gateway.handshake().rawHeader("Authorization"), QByteArray("Bearer jwt-1"));
    }

    void chunksWaitForReadinessAndDoNotCount()
    {
        StreamingHarness h;
        h.gateway.confirmAtOnce = false;
        QVERIFY(h.start());
        h.asr->append(loudSamples(1600, 0.1f));
        h.asr->append(loudSamples(1600, 0.2f));
        h.asr->append(loudSamples(1600, 0.3f));
        h.settle();
        QCOMPARE(h.gateway.messageTypes(), QStringList{QStringLiteral("session.update")});
        QCOMPARE(h.asr->counters().pendingFrames, qsizetype(3));

        h.gateway.confirm();
        QVERIFY(h.waitForMessages(4));
        QCOMPARE(h.gateway.messageTypes().mid(1), (QStringList{kAppend, kAppend, kAppend}));
        QCOMPARE(firstSample(h.gateway.audioChunks()[0]), qint16(3276));
        QCOMPARE(firstSample(h.gateway.audioChunks()[1]), qint16(6553));
        QCOMPARE(firstSample(h.gateway.audioChunks()[2]), qint16(9830));
        QCOMPARE(h.asr->counters().samplesSinceCommit, qsizetype(0));

        // Nothing counted and nothing outstanding: finish returns at once, ends and closes.
        auto outcome = runTask(h.asr->finish(12s));
        QCOMPARE(outcome.value, std::optional<QString>(QString()));
        QVERIFY(h.gateway.waitForDisconnect());
        QCOMPARE(h.gateway.messageTypes().last(), kFinish);
        QCOMPARE(h.gateway.countOf(kCommit), 0);
        QCOMPARE(h.gateway.closeCode(), std::optional<int>(1000));
    }

    void commitsAtTheThresholds_data()
    {
        QTest::addColumn<int>("quietChunk");    // 1-based; 0 = none
        QTest::addColumn<bool>("quietIsEmpty"); // the quiet chunk is an empty array
        QTest::addColumn<int>("commitAfter");   // 1-based chunk the commit follows
        QTest::newRow("loud only: hard limit at the 37th") << 0 << false << 37;
        QTest::newRow("quiet 20th reaches the soft limit") << 20 << false << 20;
        QTest::newRow("quiet 19th is too early") << 19 << false << 37;
        QTest::newRow("quiet 30th") << 30 << false << 30;
        // An empty chunk lasts no time, so it is no pause: the 55 s limit falls on the 38th.
        QTest::newRow("empty chunk after 20 loud ones") << 21 << true << 38;
    }

    void commitsAtTheThresholds()
    {
        QFETCH(int, quietChunk);
        QFETCH(bool, quietIsEmpty);
        QFETCH(int, commitAfter);
        StreamingHarness h;
        QVERIFY(h.start());
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));
        h.gateway.answerCommits = false;

        int sent = 0;
        for (int chunk = 1; chunk <= 40; ++chunk) {
            if (chunk == quietChunk)
                h.asr->append(quietIsEmpty ? Samples{} : quietSamples(24000));
            else
                h.asr->append(loudSamples(24000));
            ++sent;
        }
        QVERIFY(h.waitForMessages(1 + sent + 1));
        const QStringList types = h.gateway.messageTypes();
        QCOMPARE(types.count(kCommit), 1);
        // The commit directly follows the chunk that triggered it.
        QCOMPARE(types.indexOf(kCommit), 1 + commitAfter);
        if (quietIsEmpty)
            QCOMPARE(h.gateway.messages()[quietChunk].value(QStringLiteral("audio")).toString(), QString());
        const StreamingAsr::Counters counters = h.asr->counters();
        QCOMPARE(counters.outstandingCommits, 1);
        QCOMPARE(counters.samplesSinceCommit, qsizetype(40 - commitAfter) * 24000);
    }

    void finishWaitsForEveryOutstandingCommit()
    {
        StreamingHarness h;
        QVERIFY(h.start());
        h.gateway.answerCommits = false;
        for (int i = 0; i < 37; ++i)
            h.asr->append(loudSamples(24000));
        h.asr->append(loudSamples(8000));
        QVERIFY(h.waitForMessages(1 + 38 + 1));
        QCOMPARE(h.asr->counters().outstandingCommits, 1);

        auto task = h.asr->finish(12s);
        QVERIFY(h.waitForMessages(1 + 38 + 2));
        QCOMPARE(h.gateway.messageTypes().last(), kCommit);
        h.gateway.answerCommit(QStringLiteral("Hello"));
        QVERIFY(h.gateway.waitFor([&] { return h.asr->counters().segments == 1; }));
        QVERIFY(!task.isReady());
        h.gateway.answerCommit(QStringLiteral("world"));

        QCOMPARE(h.asr->stage(), StreamingAsr::Stage::Finishing);
        auto outcome = runTask(std::move(task));
        QCOMPARE(outcome.value, std::optional<QString>(QStringLiteral("Hello world")));
        QCOMPARE(h.asr->stage(), StreamingAsr::Stage::Finished);
        QVERIFY(h.gateway.waitForDisconnect());
        QCOMPARE(h.gateway.messageTypes().last(), kFinish);
        QCOMPARE(h.gateway.closeCode(), std::optional<int>(1000));
        QCOMPARE(h.clock.pendingCount(), std::size_t(0));
    }

    void finishCommitsAgainEvenWithoutNewAudio()
    {
        StreamingHarness h;
        QVERIFY(h.start());
        h.gateway.answerCommits = false;
        for (int i = 0; i < 20; ++i)
            h.asr->append(i == 19 ? quietSamples(24000) : loudSamples(24000));
        QVERIFY(h.waitForMessages(1 + 20 + 1));
        auto task = h.asr->finish(12s);
        QVERIFY(h.waitForMessages(1 + 20 + 2));
        QCOMPARE(h.gateway.countOf(kCommit), 2);
        // Only the commit that carried audio is waited for; the extra one adds no wait.
        h.gateway.answerCommit(QStringLiteral("第一段"));
        QCOMPARE(runTask(std::move(task)).value, std::optional<QString>(QStringLiteral("第一段")));
    }

    void finishBeforeReadinessCommitsOnceReady()
    {
        StreamingHarness h;
        h.gateway.confirmAtOnce = false;
        h.gateway.queueTranscript(QStringLiteral("好的"));
        QVERIFY(h.start());
        h.asr->append(loudSamples(1600));
        h.asr->append(loudSamples(1600));
        auto task = h.asr->finish(12s);
        h.settle();
        QVERIFY(!task.isReady());
        QCOMPARE(h.gateway.messages().size(), 1);
        QCOMPARE(h.asr->stage(), StreamingAsr::Stage::FinishAfterConnecting);

        h.gateway.confirm();
        auto outcome = runTask(std::move(task));
        QCOMPARE(outcome.value, std::optional<QString>(QStringLiteral("好的")));
        QVERIFY(h.gateway.waitForDisconnect());
        QCOMPARE(h.gateway.messageTypes(),
                 (QStringList{QStringLiteral("session.update"), kAppend, kAppend, kCommit, kFinish}));
    }

    void framesThatAreNotEventsAreIgnored()
    {
        StreamingHarness h;
        h.gateway.queueTranscript(QStringLiteral("照常"));
        QVERIFY(h.start());
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));
        h.gateway.sendBinary(QByteArray(R"({"type":"error","error":{"message":"binary"}})"));
        h.gateway.sendText(QStringLiteral("not json"));
        h.gateway.sendText(QStringLiteral(R"(["error"])"));
        h.gateway.sendText(QStringLiteral(R"({"type":"input_audio_buffer.committed"})"));
        h.asr->append(loudSamples(1600));
        h.settle();
        QVERIFY(h.asr->stage() != StreamingAsr::Stage::Failed);
        QCOMPARE(runTask(h.asr->finish(12s)).value, std::optional<QString>(QStringLiteral("照常")));
    }

    void echoesOfTheVocabularyAreDropped_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QString>("expected");
        QTest::newRow("prompt read back") << "专有名词：foo bar，x-1"
                                          << "";
        QTest::newRow("terms only") << "FooBar x1"
                                    << "";
        QTest::newRow("speech with a term") << "打开 Foo Bar"
                                            << "打开 Foo Bar";
    }

    void echoesOfTheVocabularyAreDropped()
    {
        QFETCH(QString, transcript);
        QFETCH(QString, expected);
        StreamingHarness h;
        h.gateway.queueTranscript(transcript);
        QVERIFY(h.start({QStringLiteral("Foo Bar"), QStringLiteral("x-1")}));
        h.asr->append(loudSamples(1600));
        // An answered echo is an empty segment, not a timeout: finish returns at once.
        auto outcome = runTask(h.asr->finish(12s));
        QCOMPARE(outcome.value, std::optional<QString>(expected));
    }

    void partialTextArrivesOnTheMainThread()
    {
        StreamingHarness h;
        QVERIFY(h.start({QStringLiteral("Foo Bar"), QStringLiteral("x-1")}));
        QStringList partials;
        QList<QThread*> threads;
        h.asr->setOnPartial([&](const QString& text) {
            partials.append(text);
            threads.append(QThread::currentThread());
        });
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));

        h.gateway.liveText(QString(), QString());                           // nothing to show
        h.gateway.answerCommit(QStringLiteral("hello"));                    // a segment
        h.gateway.liveText(QString(), QStringLiteral("ab"));                // stash only
        h.gateway.liveText(QStringLiteral("你好"), QStringLiteral("世界")); // confirmed + stash
        h.gateway.liveText(QStringLiteral("Foo Bar x-1"), QString());       // echo: confirmed stays
        h.gateway.answerCommit(QStringLiteral("再见"));                     // clears the confirmed text
        h.gateway.liveText(QString(), QString());
        QVERIFY(h.gateway.waitFor([&] { return partials.size() >= 4; }));
        h.settle();

        QCOMPARE(partials, (QStringList{QStringLiteral("hello ab"), QStringLiteral("hello你好世界"),
                                        QStringLiteral("hello你好"), QStringLiteral("hello再见")}));
        for (QThread* thread : threads)
            QCOMPARE(thread, QCoreApplication::instance()->thread());
    }
};

MURMO_TEST(TestStreamingAsr)
#include "tst_StreamingAsr.moc"

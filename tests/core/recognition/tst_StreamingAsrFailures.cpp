#include "core/net/NetworkErrors.h"
#include "core/recognition/AsrError.h"
#include "tests/core/recognition/StreamingHarness.h"
#include "tests/support/TestRegistry.h"

#include <QTcpServer>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

const QString kAppend = QStringLiteral("input_audio_buffer.append");
const QString kCommit = QStringLiteral("input_audio_buffer.commit");
const QString kFinish = QStringLiteral("session.finish");

// A session with one commit sent and not answered, and `segments` answered before it.
void openWithOutstandingCommit(StreamingHarness& h, const QStringList& segments)
{
    QVERIFY(h.start());
    h.gateway.answerCommits = false;
    QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));
    for (const QString& segment : segments)
        h.gateway.answerCommit(segment);
    QVERIFY(h.gateway.waitFor([&] { return h.asr->counters().segments == segments.size(); }));
    h.asr->append(loudSamples(1600));
}

} // namespace

class TestStreamingAsrFailures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timeoutReturnsWhatWasRecognised_data()
    {
        QTest::addColumn<QStringList>("segments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("with text") << QStringList{QStringLiteral("你好")} << QStringLiteral("你好");
        QTest::newRow("only empty answers") << QStringList{QString()} << QString();
        QTest::newRow("nothing") << QStringList{} << QString();
    }

    void timeoutReturnsWhatWasRecognised()
    {
        QFETCH(QStringList, segments);
        QFETCH(QString, expected);
        StreamingHarness h;
        openWithOutstandingCommit(h, segments);

        auto task = h.asr->finish(12s);
        QVERIFY(h.gateway.waitFor([&] { return h.gateway.countOf(kCommit) == 1; }));
        h.clock.advance(11999ms);
        h.settle();
        QVERIFY(!task.isReady());
        h.clock.advance(1ms);
        const auto outcome = runTask(std::move(task));

        QCOMPARE(h.asr->stage(), expected.isEmpty() ? StreamingAsr::Stage::Failed : StreamingAsr::Stage::Finished);
        if (expected.isEmpty()) {
            const auto error = outcome.errorAs<AsrError>();
            QVERIFY(error);
            QCOMPARE(error->kind(), AsrError::Kind::HttpError);
            QCOMPARE(error->status(), 0);
            QCOMPARE(error->description(), QStringLiteral("ASR 请求失败 (HTTP 0): 流式识别超时"));
            // A failed finish leaves the socket to the caller's cancel.
            h.settle();
            QVERIFY(!h.gateway.disconnected());
            QCOMPARE(h.gateway.countOf(kFinish), 0);
        } else {
            QCOMPARE(outcome.value, std::optional<QString>(expected));
            QVERIFY(h.gateway.waitForDisconnect());
            QCOMPARE(h.gateway.messageTypes().last(), kFinish);
            QCOMPARE(h.gateway.closeCode(), std::optional<int>(1000));
        }

        // A late answer changes nothing and breaks nothing.
        h.gateway.answerCommit(QStringLiteral("迟到"));
        h.settle();
    }

    void finishBeforeReadinessTimesOutWhenNeverReady()
    {
        StreamingHarness h;
        h.gateway.confirmAtOnce = false;
        QVERIFY(h.start());
        h.asr->append(loudSamples(1600));
        auto task = h.asr->finish(2500ms);
        h.clock.advance(2500ms);
        const auto outcome = runTask(std::move(task));
        QVERIFY(outcome.errorAs<AsrError>());
        QCOMPARE(outcome.errorAs<AsrError>()->body(), QStringLiteral("流式识别超时"));
        QCOMPARE(h.gateway.messageTypes(), QStringList{QStringLiteral("session.update")});
    }

    void serviceErrorBeforeFinishKillsTheSession()
    {
        StreamingHarness h;
        QVERIFY(h.start());
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));
        h.asr->append(loudSamples(1600));
        QVERIFY(h.waitForMessages(2));
        h.gateway.serviceError(QStringLiteral("quota exceeded"));
        QVERIFY(h.gateway.waitForDisconnect());
        QCOMPARE(h.gateway.closeCode(), std::optional<int>(1001));

        h.asr->append(loudSamples(1600));
        h.settle();
        QCOMPARE(h.gateway.countOf(kAppend), 1);
        const auto outcome = runTask(h.asr->finish(12s));
        const auto error = outcome.errorAs<AsrError>();
        QVERIFY(error);
        QCOMPARE(error->status(), 0);
        QCOMPARE(error->body(), QStringLiteral("quota exceeded"));
        QCOMPARE(h.clock.pendingCount(), std::size_t(0));
    }

    void serviceErrorWhileFinishing_data()
    {
        QTest::addColumn<QStringList>("segments");
        QTest::addColumn<QString>("expected"); // empty: finish throws the service's message
        QTest::newRow("with a segment: the text so far")
            << QStringList{QStringLiteral("前半句")} << QStringLiteral("前半句");
        QTest::newRow("only an empty segment: timeout error") << QStringList{QString()} << QString();
        QTest::newRow("no segment yet: the service error") << QStringList{} << QString();
    }

    void serviceErrorWhileFinishing()
    {
        QFETCH(QStringList, segments);
        QFETCH(QString, expected);
        StreamingHarness h;
        openWithOutstandingCommit(h, segments);
        auto task = h.asr->finish(12s);
        QVERIFY(h.gateway.waitFor([&] { return h.gateway.countOf(kCommit) == 1; }));
        h.gateway.serviceError(QStringLiteral("internal"));
        const auto outcome = runTask(std::move(task));

        if (!expected.isEmpty()) {
            QCOMPARE(outcome.value, std::optional<QString>(expected));
            QVERIFY(h.gateway.waitForDisconnect());
            QCOMPARE(h.gateway.closeCode(), std::optional<int>(1000));
        } else {
            const auto error = outcome.errorAs<AsrError>();
            QVERIFY(error);
            QCOMPARE(error->body(), segments.isEmpty() ? QStringLiteral("internal") : QStringLiteral("流式识别超时"));
        }
        QCOMPARE(h.clock.pendingCount(), std::size_t(0));
    }

    void cancelWhileFinishingFailsTheWait()
    {
        StreamingHarness h;
        openWithOutstandingCommit(h, {QStringLiteral("有字")});
        auto task = h.asr->finish(12s);
        QVERIFY(h.gateway.waitFor([&] { return h.gateway.countOf(kCommit) == 1; }));
        h.asr->cancel();
        QCOMPARE(h.asr->stage(), StreamingAsr::Stage::Cancelled);
        const auto outcome = runTask(std::move(task));
        QVERIFY(outcome.errorAs<TransportError>());
        QVERIFY(h.gateway.waitForDisconnect());
        QCOMPARE(h.gateway.closeCode(), std::optional<int>(1001));
        QCOMPARE(h.gateway.countOf(kFinish), 0);
        QCOMPARE(h.clock.pendingCount(), std::size_t(0));
        // Cancelling again is harmless, and the closing socket does not turn it into a failure.
        h.asr->cancel();
        h.settle();
        QCOMPARE(h.asr->stage(), StreamingAsr::Stage::Cancelled);
    }

    void cancelClosesWithTheGivenCode()
    {
        StreamingHarness h;
        QVERIFY(h.start());
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));
        h.asr->cancel(QWebSocketProtocol::CloseCodeNormal);
        QVERIFY(h.gateway.waitForDisconnect());
        QCOMPARE(h.gateway.closeCode(), std::optional<int>(1000));
        // A finish after the cancel throws at once and sends nothing.
        h.asr->append(loudSamples(1600));
        QVERIFY(runTask(h.asr->finish(12s)).errorAs<TransportError>());
        QCOMPARE(h.gateway.countOf(kAppend), 0);
        QCOMPARE(h.clock.pendingCount(), std::size_t(0));
    }

    void connectionDroppedMidStream()
    {
        StreamingHarness h;
        QVERIFY(h.start());
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));
        h.asr->append(loudSamples(1600));
        QVERIFY(h.waitForMessages(2));
        h.gateway.dropConnection();
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Failed; }));

        h.asr->append(loudSamples(1600));
        const auto outcome = runTask(h.asr->finish(12s));
        QVERIFY(outcome.errorAs<TransportError>());
        QVERIFY(!outcome.errorAs<TransportError>()->description().isEmpty());
        QCOMPARE(h.gateway.countOf(kAppend), 1);
    }

    void anOversizedEventEndsTheSession()
    {
        StreamingHarness h;
        QVERIFY(h.start());
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));
        h.gateway.sendText(QString(2 * 1024 * 1024, QLatin1Char('x')));
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Failed; }));
        const auto outcome = runTask(h.asr->finish(12s));
        QVERIFY(outcome.errorAs<TransportError>());
    }

    void serverClosingWhileFinishingFailsTheWait()
    {
        StreamingHarness h;
        openWithOutstandingCommit(h, {});
        auto task = h.asr->finish(12s);
        QVERIFY(h.gateway.waitFor([&] { return h.gateway.countOf(kCommit) == 1; }));
        h.gateway.closeConnection(QWebSocketProtocol::CloseCodeAbnormalDisconnection);
        const auto outcome = runTask(std::move(task));
        QVERIFY(outcome.errorAs<TransportError>());
    }

    void refusedConnectionSurfacesInFinish()
    {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            closedPort = probe.serverPort();
        }
        ManualClock clock;
        auto asr = StreamingAsr::create(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort)),
                                        QStringLiteral("token"), clock);
        asr->start({}, std::nullopt);
        asr->append(loudSamples(1600));
        QVERIFY(FakeStreamingGateway::waitFor([&] { return asr->stage() == StreamingAsr::Stage::Failed; }));
        const auto outcome = runTask(asr->finish(12s));
        QVERIFY(outcome.errorAs<TransportError>());
        QCOMPARE(outcome.errorAs<TransportError>()->kind(), TransportError::Kind::Failed);
        asr.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void silentServerTimesOutTheConnection()
    {
        // Accepts the TCP connection but never answers the handshake.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        ManualClock clock;
        auto asr = StreamingAsr::create(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort())),
                                        QStringLiteral("token"), clock);
        asr->start({}, std::nullopt);
        QVERIFY(FakeStreamingGateway::waitFor([&] { return silent.hasPendingConnections(); }));
        clock.advance(9999ms);
        QVERIFY(asr->stage() != StreamingAsr::Stage::Failed);
        clock.advance(1ms);
        QVERIFY(asr->stage() == StreamingAsr::Stage::Failed);
        const auto outcome = runTask(asr->finish(12s));
        QVERIFY(outcome.errorAs<TransportError>());
        QCOMPARE(outcome.errorAs<TransportError>()->kind(), TransportError::Kind::TimedOut);
        asr.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void captureThreadKeepsTheSessionAfterTheControllerLetsGo()
    {
        StreamingHarness h;
        QVERIFY(h.start());
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));

        // The stream handler holds the session weakly, as the controller installs it.
        std::weak_ptr<StreamingAsr> handle = h.asr;
        std::atomic<int> appended = 0;
        std::atomic<bool> stop = false;
        constexpr int kChunks = 200;
        std::thread capture([&] {
            for (int i = 0; i < kChunks && !stop; ++i) {
                if (auto session = handle.lock()) {
                    // Each chunk carries its index so the order on the wire can be checked.
                    session->append(loudSamples(256, float(i + 1) / 32767.0f));
                    ++appended;
                }
            }
        });
        QVERIFY(h.gateway.waitFor([&] { return h.gateway.countOf(kAppend) >= 50; }));
        // The controller lets go mid-stream; the capture thread may still be inside append().
        h.asr.reset();
        capture.join();
        h.settle();

        const QList<QByteArray>& chunks = h.gateway.audioChunks();
        QVERIFY(chunks.size() >= 50);
        QVERIFY(chunks.size() <= appended);
        for (qsizetype i = 0; i < chunks.size(); ++i)
            QCOMPARE(qFromLittleEndian<qint16>(chunks[i].constData()), qint16(i + 1));
    }

    void appendsFromAnotherThreadArriveInOrderBeforeTheFinalCommit()
    {
        StreamingHarness h;
        h.gateway.queueTranscript(QStringLiteral("完整"));
        QVERIFY(h.start());
        QVERIFY(h.gateway.waitFor([&] { return h.asr->stage() == StreamingAsr::Stage::Streaming; }));
        std::shared_ptr<StreamingAsr> session = h.asr;
        std::thread capture([session] {
            for (int i = 0; i < 100; ++i)
                session->append(loudSamples(512, float(i + 1) / 32767.0f));
        });
        capture.join();
        const auto outcome = runTask(h.asr->finish(12s));
        QCOMPARE(outcome.value, std::optional<QString>(QStringLiteral("完整")));
        QVERIFY(h.gateway.waitForDisconnect());
        const QStringList types = h.gateway.messageTypes();
        QCOMPARE(types.count(kAppend), 100);
        QCOMPARE(types.indexOf(kCommit), 101);
        QCOMPARE(types.last(), kFinish);
        for (qsizetype i = 0; i < 100; ++i)
            QCOMPARE(qFromLittleEndian<qint16>(h.gateway.audioChunks()[i].constData()), qint16(i + 1));
    }
};

MURMO_TEST(TestStreamingAsrFailures)
#include "tst_StreamingAsrFailures.moc"

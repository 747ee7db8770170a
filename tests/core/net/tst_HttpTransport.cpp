#include "core/async/CancelToken.h"
#include "core/net/HttpTransport.h"
#include "core/net/NetworkErrors.h"
#include "core/net/ServiceEndpoints.h"
#include "platform/linux/system/ProcConnectionSockets.h"
#include "tests/support/FakeHttpService.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using namespace std::chrono_literals;

namespace {

// A gateway that takes an upload in, all of it as it comes or a few KB at a time as over a slow
// uplink (its system's buffers kept small, so that the rest waits on the sender's side), and
// answers "ok" once it has the whole body, or never.
class UploadSink : public QTcpServer
{
public:
    UploadSink(qint64 bytesPer10Ms, bool answers)
        : m_bytesPer10Ms(bytesPer10Ms)
        , m_answers(answers)
    {
        listen(QHostAddress::LocalHost);
        const int small = 4096;
        if (bytesPer10Ms > 0)
            setsockopt(int(socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(serverPort())); }
    // Since the whole body arrived; invalid before.
    const QElapsedTimer& sinceBodyEnd() const { return m_sinceBodyEnd; }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* const socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        if (m_bytesPer10Ms > 0)
            socket->setReadBufferSize(m_bytesPer10Ms);
        auto* const pace = new QTimer(socket);
        connect(pace, &QTimer::timeout, socket, [this, socket] { take(socket); });
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, pace] {
            if (m_bytesPer10Ms == 0)
                take(socket);
            else if (!pace->isActive())
                pace->start(10);
        });
    }

private:
    void take(QTcpSocket* socket)
    {
        m_request += socket->read(m_bytesPer10Ms > 0 ? m_bytesPer10Ms : socket->bytesAvailable());
        const qsizetype headEnd = m_request.indexOf("\r\n\r\n");
        const qsizetype lengthAt = m_request.toLower().indexOf("content-length:");
        if (headEnd < 0 || lengthAt < 0 || m_sinceBodyEnd.isValid())
            return;
        const qsizetype valueAt = lengthAt + 15;
        const qsizetype length =
            m_request.mid(valueAt, m_request.indexOf("\r\n", valueAt) - valueAt).trimmed().toLongLong();
        if (m_request.size() < headEnd + 4 + length)
            return;
        m_sinceBodyEnd.start();
        if (m_answers)
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    }

    qint64 m_bytesPer10Ms;
    bool m_answers;
    QByteArray m_request;
    QElapsedTimer m_sinceBodyEnd;
};

// Whether Nagle's algorithm is off on every connection of this process to port; nothing when
// there is none.
std::optional<bool> lowDelayTowards(quint16 port)
{
    std::optional<bool> all;
    for (int fd = 0; fd < 4096; ++fd) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET ||
            ntohs(peer.sin_port) != port)
            continue;
        int on = 0;
        socklen_t size = sizeof on;
        getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &size);
        all = all.value_or(true) && on != 0;
    }
    return all;
}

// The system's view of the gateway's connections as a test scripts it, by how often it was asked.
class ScriptedSockets : public ConnectionSockets
{
public:
    explicit ScriptedSockets(std::function<std::optional<QList<Connection>>(int look)> script)
        : m_script(std::move(script))
    {}

    int sendWithoutDelay(const QHostAddress&, quint16) override { return 0; }
    std::optional<QList<Connection>> connections(const QHostAddress&, quint16) override { return m_script(m_looks++); }

private:
    std::function<std::optional<QList<Connection>>(int look)> m_script;
    int m_looks = 0;
};

} // namespace

class TestHttpTransport : public QObject
{
    Q_OBJECT

private:
    // Long enough that only a scripted failure ends a request early, however busy the machine.
    static constexpr std::chrono::seconds kPatient{40};
    static constexpr qint64 kSmallCap = 64 * 1024;

    FakeHttpService* m_service = nullptr;
    ProcConnectionSockets m_sockets;
    HttpTransport m_transport{nullptr, &m_sockets};

    QNetworkRequest requestTo(const QString& path) const
    {
        return QNetworkRequest(ServiceEndpoints::appendPath(m_service->baseUrl(), path));
    }

private Q_SLOTS:
    void init() { m_service = new FakeHttpService(this); }

    void cleanup()
    {
        delete m_service;
        m_service = nullptr;
        deleteReleasedObjects();
    }

    void answersOfAnyStatusAreHandedBack_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("ok") << 200;
        QTest::newRow("bad request") << 400;
        QTest::newRow("unauthorised") << 401;
        QTest::newRow("not found") << 404;
        QTest::newRow("server error") << 500;
        QTest::newRow("bad gateway") << 502;
    }

    void answersOfAnyStatusAreHandedBack()
    {
        QFETCH(int, status);
        m_service->setReply("POST", QStringLiteral("/x"), FakeReply::raw("body bytes", status));
        const auto outcome = runTask(m_transport.send(requestTo(QStringLiteral("x")), "POST", "sent", kPatient));
        QVERIFY(outcome.value);
        QVERIFY(outcome.value->isHttp);
        QCOMPARE(outcome.value->status, status);
        QCOMPARE(outcome.value->body, QByteArray("body bytes"));
        QCOMPARE(m_service->requests().size(), 1);
        QCOMPARE(m_service->requests().first().body, QByteArray("sent"));
    }

    void connectionFailuresAreTransportErrors_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("kind");
        const int patient = int(std::chrono::milliseconds(kPatient).count());
        QTest::newRow("dropped mid-answer")
            << FakeReply::droppedMidAnswer() << patient << int(TransportError::Kind::Failed);
        QTest::newRow("closed without answer") << FakeReply::closed() << patient << int(TransportError::Kind::Failed);
        QTest::newRow("never answers") << FakeReply::silent() << 300 << int(TransportError::Kind::TimedOut);
        // The answer's wait starts only once the request has arrived, after the request's own.
        QTest::newRow("answers too late")
            << FakeReply::raw("late").after(2s) << 300 << int(TransportError::Kind::TimedOut);
        // Never silent for the 300 ms, never done either: the whole exchange has its deadline.
        QTest::newRow("drips for ever") << FakeReply::dripping() << 300 << int(TransportError::Kind::TimedOut);
    }

    void connectionFailuresAreTransportErrors()
    {
        QFETCH(FakeReply, reply);
        QFETCH(int, timeoutMs);
        QFETCH(int, kind);
        m_service->setReply("POST", QStringLiteral("/x"), reply);
        const auto outcome = runTask(
            m_transport.send(requestTo(QStringLiteral("x")), "POST", "{}", std::chrono::milliseconds(timeoutMs)));
        const auto error = outcome.errorAs<TransportError>();
        QVERIFY(error);
        QCOMPARE(int(error->kind()), kind);
        // Words for the status line, not Qt's English.
        QVERIFY(error->description().contains(QRegularExpression(QStringLiteral("\\p{Han}"))));
    }

    void redirectsAreFailuresAndNotFollowed_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("moved permanently") << 301;
        QTest::newRow("found") << 302;
        QTest::newRow("see other") << 303;
        QTest::newRow("temporary") << 307;
        QTest::newRow("permanent") << 308;
    }

    void redirectsAreFailuresAndNotFollowed()
    {
        QFETCH(int, status);
        // Another origin on this machine that would gladly take the token and the audio.
        FakeHttpService elsewhere;
        elsewhere.setReply("POST", QStringLiteral("/take"), FakeReply::raw("{}"));
        elsewhere.setReply("GET", QStringLiteral("/take"), FakeReply::raw("{}"));
        const QUrl target = ServiceEndpoints::appendPath(elsewhere.baseUrl(), QStringLiteral("take"));
        m_service->setReply("POST", QStringLiteral("/x"), FakeReply::redirect(status, target));

        QNetworkRequest request = requestTo(QStringLiteral("x"));
        request.setRawHeader("Authorization", "Bearer device-token");
        request.setRawHeader("x-api-key", "vendor-key");
        const auto outcome = runTask(m_transport.send(request, "POST", "audio", kPatient));
        const auto error = outcome.errorAs<TransportError>();
        QVERIFY(error);
        QCOMPARE(error->kind(), TransportError::Kind::Redirected);
        QCOMPARE(m_service->requests().size(), 1);
        QCOMPARE(elsewhere.requests().size(), 0);
    }

    void answersPastTheirCapAreCutOff_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<bool>("accepted");
        // Every byte told from its neighbours: the pieces it arrives in must be put together in order.
        QByteArray atCap(kSmallCap, Qt::Uninitialized);
        for (qsizetype i = 0; i < atCap.size(); ++i)
            atCap[i] = char(i % 251);
        const QByteArray pastCap(kSmallCap + 1, 'a');
        QTest::newRow("at the cap") << FakeReply::raw(atCap) << true;
        QTest::newRow("announced past the cap") << FakeReply::raw(pastCap) << false;
        QTest::newRow("error answer past the cap") << FakeReply::raw(pastCap, 500) << false;
        // No length to go by, and the connection stays open as if gigabytes were on their way:
        // only counting what arrives ends it before the timeout.
        QTest::newRow("streamed past the cap") << FakeReply::openEnded(pastCap + pastCap) << false;
    }

    void answersPastTheirCapAreCutOff()
    {
        QFETCH(FakeReply, reply);
        QFETCH(bool, accepted);
        m_service->setReply("GET", QStringLiteral("/x"), reply);
        const auto outcome =
            runTask(m_transport.send(requestTo(QStringLiteral("x")), "GET", {}, kPatient, nullptr, kSmallCap));
        if (accepted) {
            QVERIFY(outcome.value);
            QCOMPARE(outcome.value->body, reply.body);
            return;
        }
        const auto error = outcome.errorAs<TransportError>();
        QVERIFY(error);
        QCOMPARE(error->kind(), TransportError::Kind::AnswerTooLarge);
    }

    void theAnswerIsAwaitedFromTheBodysEnd_data()
    {
        QTest::addColumn<int>("bodyBytes");
        QTest::addColumn<int>("bytesPer10Ms");
        QTest::addColumn<bool>("answers");
        // Takes of 2.7 s and of 60 s, as the gateway takes them (base64 of 16-bit samples at
        // 16 kHz), taken in at once by a gateway that never answers: either fails a timeout
        // after its body's end, not the body's time at the slowest uplink later.
        QTest::newRow("short take, silent gateway") << 115'200 << 0 << false;
        QTest::newRow("60 s chunk, silent gateway") << 2'560'000 << 0 << false;
        // Much of the body still waits in this side's buffers when Qt is done with it, and takes
        // twice the timeout to go up (at 400 KB/s, a little above the slowest uplink as the
        // shortened timeout scales it): it lands all the same.
        QTest::newRow("slow uplink") << 768 * 1024 << 4 * 1024 << true;
    }

    void theAnswerIsAwaitedFromTheBodysEnd()
    {
        QFETCH(int, bodyBytes);
        QFETCH(int, bytesPer10Ms);
        QFETCH(bool, answers);
        // The gateway's 40 s, shortened 40 times.
        constexpr auto timeout = 40s;
        constexpr auto shortened = 1s;
        HttpTransport transport(nullptr, &m_sockets);
        transport.setTimeoutCap(shortened);
        UploadSink gateway(bytesPer10Ms, answers);
        const auto outcome =
            runTask(transport.send(QNetworkRequest(gateway.url()), "POST", QByteArray(bodyBytes, 'a'), timeout));
        if (answers) {
            QVERIFY(outcome.value);
            QCOMPARE(outcome.value->body, QByteArray("ok"));
            return;
        }
        const auto error = outcome.errorAs<TransportError>();
        QVERIFY(error);
        QCOMPARE(error->kind(), TransportError::Kind::TimedOut);
        QVERIFY(gateway.sinceBodyEnd().isValid());
        // A timeout after the body's end, with room for a busy machine: "about 40 s", not minutes.
        QCOMPARE_LT(std::chrono::milliseconds(gateway.sinceBodyEnd().elapsed()), 2 * shortened);
    }

    // Another upload draining to the same gateway does not hold this request's wait for the
    // answer: its body was acknowledged at once, so the silent gateway fails it while the other
    // upload is still on its way.
    void anotherUploadDoesNotHoldTheAnswersWait()
    {
        const QByteArray body(2'560'000, 'a');
        qint64 otherLeft = 0;
        ScriptedSockets sockets([&](int look) {
            otherLeft = std::max(0, 20 - look) * 1024;
            const qint64 ownWritten = look == 0 ? 0 : body.size();
            return std::optional(QList<ConnectionSockets::Connection>{{1, ownWritten, 0}, {2, 9'000'000, otherLeft}});
        });
        HttpTransport transport(nullptr, &sockets);
        transport.setTimeoutCap(1s);
        UploadSink gateway(0, false);
        const auto outcome = runTask(transport.send(QNetworkRequest(gateway.url()), "POST", body, 40s));
        QCOMPARE(outcome.errorAs<TransportError>()->kind(), TransportError::Kind::TimedOut);
        QCOMPARE_GT(otherLeft, 0);
    }

    // Where the system cannot tell what is still on its way, the answer's wait allows the body's
    // time: a body that takes twice the timeout to go up lands. The allowance (about 10 s here) is
    // five times the upload, so a busy machine's slower sink still fits in it.
    void whatCannotBeToldIsGivenTheBodysTime_data()
    {
        QTest::addColumn<bool>("listed");
        QTest::newRow("descriptors cannot be listed") << false;
        QTest::newRow("no connection listed") << true;
    }

    void whatCannotBeToldIsGivenTheBodysTime()
    {
        QFETCH(bool, listed);
        ScriptedSockets sockets(
            [listed](int) { return listed ? std::optional(QList<ConnectionSockets::Connection>()) : std::nullopt; });
        HttpTransport transport(nullptr, &sockets);
        transport.setTimeoutCap(1s);
        UploadSink gateway(8 * 1024, true);
        const auto outcome =
            runTask(transport.send(QNetworkRequest(gateway.url()), "POST", QByteArray(1'600'000, 'a'), 20s));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->body, QByteArray("ok"));
    }

    void bodiesGoOutWithoutDelay_data()
    {
        QTest::addColumn<bool>("freshConnections");
        QTest::newRow("kept-alive connection") << false;
        QTest::newRow("fresh connection each time") << true;
    }

    void bodiesGoOutWithoutDelay()
    {
        QFETCH(bool, freshConnections);
        QList<bool> lowDelayOnArrival;
        const auto port = quint16(m_service->baseUrl().port());
        m_service->setHandler("POST", QStringLiteral("/x"), [&](const RecordedRequest&) {
            lowDelayOnArrival.append(lowDelayTowards(port).value_or(false));
            const FakeReply answer = FakeReply::raw("ok");
            return freshConnections ? answer.closingConnection() : answer;
        });
        for (int i = 0; i < 2; ++i)
            QVERIFY(runTask(m_transport.send(requestTo(QStringLiteral("x")), "POST", "take", kPatient)).value);
        // The first body on a connection too: Nagle's algorithm was off before it was written.
        QCOMPARE(lowDelayOnArrival, (QList<bool>{true, true}));
    }

    void refusedConnectionIsATransportError()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/x").arg(port));
        const auto outcome = runTask(m_transport.send(QNetworkRequest(url), "GET", {}, 5s));
        QVERIFY(outcome.errorAs<TransportError>());
    }

    void plainHttpIsOnlyAllowedToThisMachine_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("https") << QStringLiteral("https://gateway.example.com/v1") << true;
        QTest::newRow("http loopback v4") << QStringLiteral("http://127.0.0.1:9/") << true;
        QTest::newRow("http loopback v6") << QStringLiteral("http://[::1]:9/") << true;
        QTest::newRow("http localhost") << QStringLiteral("http://localhost:9/") << true;
        QTest::newRow("http remote") << QStringLiteral("http://gateway.example.com/") << false;
        QTest::newRow("http lan address") << QStringLiteral("http://192.168.1.4/") << false;
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/") << false;
    }

    void plainHttpIsOnlyAllowedToThisMachine()
    {
        QFETCH(QString, url);
        QFETCH(bool, allowed);
        QCOMPARE(HttpTransport::isAllowedUrl(QUrl(url)), allowed);
        if (!allowed) {
            const auto outcome = runTask(m_transport.send(QNetworkRequest(QUrl(url)), "GET", {}, 5s));
            const auto error = outcome.errorAs<TransportError>();
            QVERIFY(error);
            QCOMPARE(error->kind(), TransportError::Kind::InsecureUrl);
        }
    }

    void cancellingAbortsTheRequest()
    {
        m_service->setReply("POST", QStringLiteral("/x"), FakeReply::silent());
        CancelToken token;
        QCoro::Task<HttpResponse> sending =
            m_transport.send(requestTo(QStringLiteral("x")), "POST", {}, kPatient, &token);
        QTRY_COMPARE_WITH_TIMEOUT(m_service->requests().size(), 1, 20000);
        token.cancel();
        const auto outcome = runTask(std::move(sending));
        QVERIFY(outcome.errorAs<CancelledError>());

        // A token raised before the call sends nothing at all.
        const auto again = runTask(m_transport.send(requestTo(QStringLiteral("x")), "POST", {}, kPatient, &token));
        QVERIFY(again.errorAs<CancelledError>());
        QCOMPARE(m_service->requests().size(), 1);
    }

    void aTransportTakesItsOwnManagerAlong()
    {
        m_service->setReply("GET", QStringLiteral("/x"), FakeReply::raw("ok"));
        const auto managers = [] {
            return QCoreApplication::instance()->findChildren<QNetworkAccessManager*>(Qt::FindDirectChildrenOnly);
        };
        const auto before = managers();
        QPointer<QNetworkAccessManager> made;
        {
            HttpTransport transport;
            QVERIFY(runTask(transport.send(requestTo(QStringLiteral("x")), "GET", {}, kPatient)).value);
            const auto during = managers();
            QCOMPARE(during.size(), before.size() + 1);
            made = during.last();
        }
        QVERIFY(made.isNull());

        // A manager handed in belongs to the caller.
        QNetworkAccessManager given;
        {
            HttpTransport transport(&given);
            QVERIFY(runTask(transport.send(requestTo(QStringLiteral("x")), "GET", {}, kPatient)).value);
        }
        deleteReleasedObjects();
        QCOMPARE(given.findChildren<QNetworkReply*>().size(), 0);
    }

    void utf8BodyIsEmptyWhenNotUtf8()
    {
        QCOMPARE((HttpResponse{true, 500, QByteArray("caf\xc3\xa9")}).utf8Body(), QStringLiteral("café"));
        QCOMPARE((HttpResponse{true, 500, QByteArray("caf\xe9")}).utf8Body(), QString());
    }

    void pathsKeepTheBasePrefix_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected");
        QTest::newRow("root") << QStringLiteral("https://h") << QStringLiteral("https://h/v1/asr");
        QTest::newRow("root slash") << QStringLiteral("https://h/") << QStringLiteral("https://h/v1/asr");
        QTest::newRow("prefix") << QStringLiteral("https://h/api") << QStringLiteral("https://h/api/v1/asr");
        QTest::newRow("prefix slash") << QStringLiteral("https://h/api/") << QStringLiteral("https://h/api/v1/asr");
    }

    void pathsKeepTheBasePrefix()
    {
        QFETCH(QString, base);
        QFETCH(QString, expected);
        QCOMPARE(ServiceEndpoints::appendPath(QUrl(base), QStringLiteral("v1/asr")).toString(), expected);
    }

    void environmentOverridesTheBuiltInAddress()
    {
        const QUrl builtIn(QStringLiteral("https://built.in/"));
        qputenv("MURMO_TEST_ENDPOINT", "http://127.0.0.1:4321/base");
        QCOMPARE(ServiceEndpoints::resolve("MURMO_TEST_ENDPOINT", builtIn),
                 QUrl(QStringLiteral("http://127.0.0.1:4321/base")));
        qputenv("MURMO_TEST_ENDPOINT", "not a url");
        QCOMPARE(ServiceEndpoints::resolve("MURMO_TEST_ENDPOINT", builtIn), builtIn);
        qunsetenv("MURMO_TEST_ENDPOINT");
        QCOMPARE(ServiceEndpoints::resolve("MURMO_TEST_ENDPOINT", builtIn), builtIn);
    }
};

MURMO_TEST(TestHttpTransport)
#include "tst_HttpTransport.moc"

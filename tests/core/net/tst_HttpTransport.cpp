#include "core/async/CancelToken.h"
#include "core/net/HttpTransport.h"
#include "core/net/NetworkErrors.h"
#include "core/net/ServiceEndpoints.h"
#include "tests/support/FakeHttpService.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A gateway that leaves each request in the system's buffers for a while before it takes it in,
// as a slow uplink keeps the end of a body on its way after the program has handed all of it
// over; then it reads the whole request and answers "ok".
class LateReader : public QTcpServer
{
public:
    explicit LateReader(std::chrono::milliseconds pause)
        : m_pause(pause)
    {
        listen(QHostAddress::LocalHost);
    }
    ~LateReader() override
    {
        for (const qintptr descriptor : std::as_const(m_waiting))
            ::close(int(descriptor));
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(serverPort())); }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        m_waiting.append(descriptor);
        QTimer::singleShot(m_pause, this, [this, descriptor] {
            m_waiting.removeOne(descriptor);
            auto* const socket = new QTcpSocket(this);
            socket->setSocketDescriptor(descriptor);
            connect(socket, &QTcpSocket::readyRead, socket, [socket, request = QByteArray()]() mutable {
                request += socket->readAll();
                const qsizetype headEnd = request.indexOf("\r\n\r\n");
                const qsizetype lengthAt = request.toLower().indexOf("content-length:");
                if (headEnd < 0 || lengthAt < 0)
                    return;
                const qsizetype valueAt = lengthAt + 15;
                const qsizetype length =
                    request.mid(valueAt, request.indexOf("\r\n", valueAt) - valueAt).trimmed().toLongLong();
                if (request.size() >= headEnd + 4 + length)
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
            });
        });
    }

private:
    std::chrono::milliseconds m_pause;
    QList<qintptr> m_waiting;
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

} // namespace

class TestHttpTransport : public QObject
{
    Q_OBJECT

private:
    // Long enough that only a scripted failure ends a request early, however busy the machine.
    static constexpr std::chrono::seconds kPatient{40};
    static constexpr qint64 kSmallCap = 64 * 1024;

    FakeHttpService* m_service = nullptr;
    HttpTransport m_transport;

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
        const QByteArray atCap(kSmallCap, 'a');
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

    void aBodyOnItsWayIsNotSilence_data()
    {
        QTest::addColumn<int>("bodyBytes");
        QTest::addColumn<bool>("answered");
        // Fits in the system's buffers at once, and takes four seconds at the slowest uplink.
        QTest::newRow("body still on its way") << 32 * 1024 << true;
        // Takes an eighth of a second: most of the gateway's pause is plain silence.
        QTest::newRow("small body") << 1024 << false;
    }

    void aBodyOnItsWayIsNotSilence()
    {
        QFETCH(int, bodyBytes);
        QFETCH(bool, answered);
        // Longer than the timeout, and than the whole exchange's deadline without the body's time.
        LateReader gateway(600ms);
        const auto outcome =
            runTask(m_transport.send(QNetworkRequest(gateway.url()), "POST", QByteArray(bodyBytes, 'a'), 100ms));
        if (answered) {
            QVERIFY(outcome.value);
            QCOMPARE(outcome.value->body, QByteArray("ok"));
            return;
        }
        const auto error = outcome.errorAs<TransportError>();
        QVERIFY(error);
        QCOMPARE(error->kind(), TransportError::Kind::TimedOut);
    }

    void keptConnectionsSendWithoutDelay()
    {
        m_service->setReply("POST", QStringLiteral("/x"), FakeReply::raw("ok"));
        QVERIFY(runTask(m_transport.send(requestTo(QStringLiteral("x")), "POST", "take", kPatient)).value);
        // The connection waiting for the next request hands it over without Nagle's algorithm.
        QCOMPARE(lowDelayTowards(quint16(m_service->baseUrl().port())), std::optional<bool>(true));
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

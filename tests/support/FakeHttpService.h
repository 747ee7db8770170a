#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
#include <deque>
#include <functional>

// One request as it reached the fake: method, path, query, the path and query as they came on the
// wire (percent-encoding untouched), the headers in the order they came, and the body bytes.
struct RecordedRequest
{
    QByteArray method;
    QString path;
    QUrlQuery query;
    QByteArray target;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    bool hasHeader(const QByteArray& name) const;
    // The value of the named header (names compare case-insensitively), or empty.
    QByteArray header(const QByteArray& name) const;
    // The body parsed as a JSON object (empty when it is not one).
    QJsonObject json() const;
};

// What the fake does with one request.
struct FakeReply
{
    enum class Behaviour
    {
        Answer,           // status line, headers, the whole body
        DropMidAnswer,    // status line and headers promising more body than is sent, then close
        CloseImmediately, // close the connection without a byte
        NeverAnswer,      // keep the connection open and say nothing
        OpenEnded,        // status line and headers without a length, the body, then keep it open
        Drips,            // status line and headers promising a body, then a byte every 100 ms
    };

    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    // Further header lines, each "Name: value".
    QList<QByteArray> headers;
    std::chrono::milliseconds delay{0};
    Behaviour behaviour = Behaviour::Answer;
    // Kept back until the test calls releaseHeldReplies(), for a test that must act while the
    // request is still unanswered however slow the machine is.
    bool held = false;
    // The service closes the connection once the answer is out, as a gateway does with an idle
    // one: the client's next request opens a fresh connection.
    bool closesConnection = false;

    static FakeReply json(const QJsonObject& object, int status = 200);
    static FakeReply raw(const QByteArray& body, int status = 200, const QByteArray& contentType = "text/plain");
    static FakeReply droppedMidAnswer();
    static FakeReply closed();
    static FakeReply silent();
    // A redirect to location with the given 3xx status.
    static FakeReply redirect(int status, const QUrl& location);
    // body sent without a length, after which the connection stays open as if more would come.
    static FakeReply openEnded(const QByteArray& body);
    // An answer that never ends yet is never silent for long.
    static FakeReply dripping();
    FakeReply after(std::chrono::milliseconds wait) const;
    FakeReply heldBack() const;
    FakeReply closingConnection() const;
};

// An HTTP service on 127.0.0.1 at a free port, standing in for a remote one. Routes are scripted
// per test (method + path); every request is recorded so tests can assert the exact bytes sent.
// Unscripted routes answer 404. A WebSocket upgrade is left to whoever takes the service's
// newWebSocketConnection (see FakeGateway::serveStreaming); with nobody there it is a route too.
class FakeHttpService : public QAbstractHttpServer
{
    Q_OBJECT

public:
    using Handler = std::function<FakeReply(const RecordedRequest&)>;

    explicit FakeHttpService(QObject* parent = nullptr);
    ~FakeHttpService() override;

    // "http://127.0.0.1:<port>/"
    QUrl baseUrl() const;

    // The reply for every request to method + path from now on.
    void setReply(const QByteArray& method, const QString& path, FakeReply reply);
    // A reply computed from each request.
    void setHandler(const QByteArray& method, const QString& path, Handler handler);
    // One-shot replies used, in order, before the standing one.
    void queueReply(const QByteArray& method, const QString& path, FakeReply reply);

    const QList<RecordedRequest>& requests() const { return m_requests; }
    QList<RecordedRequest> requestsTo(const QString& path) const;
    void clearRequests() { m_requests.clear(); }

    // Sends the replies kept back so far (see FakeReply::heldBack) on the connections that are
    // still open.
    void releaseHeldReplies();

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    FakeReply replyFor(const RecordedRequest& request);

    quint16 m_port = 0;
    QList<RecordedRequest> m_requests;
    QHash<QString, Handler> m_handlers;
    QHash<QString, std::deque<FakeReply>> m_queued;
    QList<QPair<QPointer<QTcpSocket>, FakeReply>> m_held;
};

#include "tests/support/FakeHttpService.h"

#include <QHttpServerRequest>
#include <QMetaMethod>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>
#include <utility>

namespace {

QString routeKey(const QByteArray& method, const QString& path)
{
    return QString::fromLatin1(method) + QLatin1Char(' ') + path;
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    default:
        return "OTHER";
    }
}

// Without announcedLength the answer's end is the connection's.
QByteArray responseHead(const FakeReply& reply, std::optional<qsizetype> announcedLength)
{
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\nContent-Type: " + reply.contentType + "\r\n";
    if (announcedLength)
        head += "Content-Length: " + QByteArray::number(*announcedLength) + "\r\n";
    else
        head += "Connection: close\r\n";
    for (const QByteArray& line : reply.headers)
        head += line + "\r\n";
    return head + "\r\n";
}

void deliver(QTcpSocket* socket, const FakeReply& reply)
{
    switch (reply.behaviour) {
    case FakeReply::Behaviour::Answer:
        socket->write(responseHead(reply, reply.body.size()) + reply.body);
        if (reply.closesConnection)
            socket->disconnectFromHost();
        break;
    case FakeReply::Behaviour::DropMidAnswer:
        socket->write(responseHead(reply, reply.body.size() + 1000) + reply.body);
        socket->disconnectFromHost();
        break;
    case FakeReply::Behaviour::CloseImmediately:
        socket->disconnectFromHost();
        break;
    case FakeReply::Behaviour::NeverAnswer:
        break;
    case FakeReply::Behaviour::OpenEnded:
        socket->write(responseHead(reply, std::nullopt) + reply.body);
        break;
    case FakeReply::Behaviour::Drips: {
        socket->write(responseHead(reply, 1024 * 1024));
        auto* drip = new QTimer(socket);
        QObject::connect(drip, &QTimer::timeout, socket, [socket] { socket->write("x"); });
        drip->start(100);
        break;
    }
    }
}

} // namespace

bool RecordedRequest::hasHeader(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QByteArray RecordedRequest::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QJsonObject RecordedRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

FakeReply FakeReply::json(const QJsonObject& object, int status)
{
    FakeReply reply;
    reply.status = status;
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return reply;
}

FakeReply FakeReply::raw(const QByteArray& body, int status, const QByteArray& contentType)
{
    FakeReply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = contentType;
    return reply;
}

FakeReply FakeReply::droppedMidAnswer()
{
    FakeReply reply = raw("{\"text\":\"cut", 200, "application/json");
    reply.behaviour = Behaviour::DropMidAnswer;
    return reply;
}

FakeReply FakeReply::closed()
{
    FakeReply reply;
    reply.behaviour = Behaviour::CloseImmediately;
    return reply;
}

FakeReply FakeReply::silent()
{
    FakeReply reply;
    reply.behaviour = Behaviour::NeverAnswer;
    return reply;
}

FakeReply FakeReply::redirect(int status, const QUrl& location)
{
    FakeReply reply = raw("moved", status);
    reply.headers.append("Location: " + location.toEncoded());
    return reply;
}

FakeReply FakeReply::openEnded(const QByteArray& body)
{
    FakeReply reply = raw(body);
    reply.behaviour = Behaviour::OpenEnded;
    return reply;
}

FakeReply FakeReply::dripping()
{
    FakeReply reply;
    reply.behaviour = Behaviour::Drips;
    return reply;
}

FakeReply FakeReply::after(std::chrono::milliseconds wait) const
{
    FakeReply delayed = *this;
    delayed.delay = wait;
    return delayed;
}

FakeReply FakeReply::heldBack() const
{
    FakeReply kept = *this;
    kept.held = true;
    return kept;
}

FakeReply FakeReply::closingConnection() const
{
    FakeReply closing = *this;
    closing.headers.append("Connection: close");
    closing.closesConnection = true;
    return closing;
}

FakeHttpService::FakeHttpService(QObject* parent)
    : QAbstractHttpServer(parent)
{
    m_port = listen(QHostAddress::LocalHost, 0);
    if (m_port == 0)
        qFatal("fake service could not listen on 127.0.0.1");
}

FakeHttpService::~FakeHttpService() = default;

QUrl FakeHttpService::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_port));
}

void FakeHttpService::setReply(const QByteArray& method, const QString& path, FakeReply reply)
{
    setHandler(method, path, [reply](const RecordedRequest&) { return reply; });
}

void FakeHttpService::setHandler(const QByteArray& method, const QString& path, Handler handler)
{
    m_handlers.insert(routeKey(method, path), std::move(handler));
}

void FakeHttpService::queueReply(const QByteArray& method, const QString& path, FakeReply reply)
{
    m_queued[routeKey(method, path)].push_back(std::move(reply));
}

QList<RecordedRequest> FakeHttpService::requestsTo(const QString& path) const
{
    QList<RecordedRequest> matching;
    for (const RecordedRequest& request : m_requests)
        if (request.path == path)
            matching.append(request);
    return matching;
}

FakeReply FakeHttpService::replyFor(const RecordedRequest& request)
{
    const QString key = routeKey(request.method, request.path);
    auto queued = m_queued.find(key);
    if (queued != m_queued.end() && !queued->empty()) {
        FakeReply reply = queued->front();
        queued->pop_front();
        return reply;
    }
    const auto handler = m_handlers.constFind(key);
    if (handler != m_handlers.constEnd())
        return (*handler)(request);
    return FakeReply::raw("no such route", 404);
}

bool FakeHttpService::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    RecordedRequest recorded;
    recorded.method = methodName(request.method());
    recorded.path = request.url().path();
    recorded.query = request.query();
    recorded.target = request.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    recorded.headers = request.headers();
    recorded.body = request.body();
    m_requests.append(recorded);

    // Qt asks this handler before it upgrades a WebSocket request; whoever takes the upgraded
    // connections answers it, and any byte written here would break the handshake.
    static const QMetaMethod upgraded = QMetaMethod::fromSignal(&QAbstractHttpServer::newWebSocketConnection);
    if (recorded.header("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0 && isSignalConnected(upgraded))
        return true;

    const FakeReply reply = replyFor(recorded);
    if (reply.held) {
        m_held.append({QPointer<QTcpSocket>(socket), reply});
        return true;
    }
    if (reply.delay.count() <= 0) {
        deliver(socket, reply);
        return true;
    }
    QPointer<QTcpSocket> target(socket);
    QTimer::singleShot(reply.delay, this, [target, reply] {
        if (target && target->state() == QAbstractSocket::ConnectedState)
            deliver(target, reply);
    });
    return true;
}

void FakeHttpService::releaseHeldReplies()
{
    const auto held = std::exchange(m_held, {});
    for (const auto& [socket, reply] : held)
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            deliver(socket, reply);
}

void FakeHttpService::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    deliver(socket, FakeReply::raw("no such route", 404));
}

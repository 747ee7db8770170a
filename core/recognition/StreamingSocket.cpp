#include "core/recognition/StreamingSocket.h"

#include "core/async/PostToThread.h"
#include "core/net/HttpTransport.h"
#include "core/net/NetworkErrors.h"
#include "core/recognition/GatewayAuthError.h"

#include <QNetworkRequest>
#include <QObject>
#include <QRegularExpression>

std::shared_ptr<StreamingSocket> StreamingSocket::create(Clock& clock)
{
    return std::shared_ptr<StreamingSocket>(new StreamingSocket(clock));
}

StreamingSocket::StreamingSocket(Clock& clock)
    : m_clock(clock)
    , m_context(new QObject)
{}

StreamingSocket::~StreamingSocket()
{
    // The last reference may go on the capture thread; the socket is deleted on its own thread.
    m_context->deleteLater();
}

void StreamingSocket::setHandlers(Handlers handlers)
{
    m_handlers = std::move(handlers);
}

void StreamingSocket::post(std::function<void()> work) const
{
    postTo(m_context, std::move(work));
}

std::exception_ptr StreamingSocket::closedError(int code, const QString& reason)
{
    QString text = QStringLiteral("流式识别连接已关闭 (%1)").arg(code);
    if (!reason.isEmpty())
        text += QStringLiteral(": ") + reason;
    return std::make_exception_ptr(TransportError(TransportError::Kind::Failed, text));
}

std::optional<int> StreamingSocket::refusedHandshakeStatus(const QString& errorString)
{
    // Qt 6.4 tells the status of a handshake answered with anything but 101 only in these words.
    static const QRegularExpression status(QStringLiteral("http status code: (\\d{3})"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = status.match(errorString);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}

void StreamingSocket::report(std::exception_ptr error) const
{
    if (m_handlers.onFailure)
        m_handlers.onFailure(std::move(error));
}

void StreamingSocket::open(const QUrl& url, const QString& bearer)
{
    auto* socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, m_context);
    // An event is a line of JSON: a message past an answer's cap ends the session (Qt closes the
    // connection) before it is held in memory whole.
    socket->setMaxAllowedIncomingMessageSize(quint64(HttpTransport::defaultAnswerCap));
    socket->setMaxAllowedIncomingFrameSize(quint64(HttpTransport::defaultAnswerCap));
    m_socket = socket;
    const std::weak_ptr<StreamingSocket> weak = weak_from_this();
    QObject::connect(socket, &QWebSocket::connected, m_context, [weak] {
        if (auto self = weak.lock())
            self->onConnected();
    });
    QObject::connect(socket, &QWebSocket::textMessageReceived, m_context, [weak](const QString& frame) {
        if (auto self = weak.lock(); self && self->m_handlers.onText)
            self->m_handlers.onText(frame);
    });
    QObject::connect(
        socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), m_context,
        [weak](QAbstractSocket::SocketError error) {
            if (auto self = weak.lock()) {
                const QString reason = self->m_socket ? self->m_socket->errorString() : QString();
                if (error == QAbstractSocket::ConnectionRefusedError && refusedHandshakeStatus(reason) == 401)
                    self->report(std::make_exception_ptr(GatewayAuthError()));
                else
                    self->report(std::make_exception_ptr(TransportError(TransportError::Kind::Failed, reason)));
            }
        });
    QObject::connect(socket, &QWebSocket::disconnected, m_context, [weak] {
        if (auto self = weak.lock(); self && self->m_socket)
            self->report(closedError(int(self->m_socket->closeCode()), self->m_socket->closeReason()));
    });

    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + bearer.toUtf8());
    request.setTransferTimeout(int(kConnectTimeout.count()));
    m_connectTimer = m_clock.schedule(kConnectTimeout, [weak] {
        if (auto self = weak.lock()) {
            self->m_connectTimer = 0;
            self->report(
                std::make_exception_ptr(TransportError(TransportError::Kind::TimedOut, QStringLiteral("请求超时"))));
        }
    });
    socket->open(request);
}

void StreamingSocket::onConnected()
{
    cancelConnectTimer();
    flush();
}

void StreamingSocket::cancelConnectTimer()
{
    if (m_connectTimer)
        m_clock.cancel(std::exchange(m_connectTimer, 0));
}

void StreamingSocket::enqueue(StreamingFrame frame)
{
    std::lock_guard guard(m_lock);
    m_outbox.push_back(std::move(frame));
}

void StreamingSocket::flushSoon()
{
    if (m_flushPosted.exchange(true))
        return;
    post([weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->flush();
    });
}

void StreamingSocket::flush()
{
    std::deque<StreamingFrame> frames;
    const bool open = m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    const bool opening = m_socket && !open && m_socket->state() != QAbstractSocket::UnconnectedState;
    m_flushPosted = false;
    {
        std::lock_guard guard(m_lock);
        // Still connecting: the frames wait for the socket to open. No socket, or one that has
        // closed: there is nobody to send them to.
        if (opening)
            return;
        frames.swap(m_outbox);
    }
    if (!open)
        return;
    for (const StreamingFrame& frame : frames) {
        const QByteArray json = frame.json();
        if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        if (m_socket->sendTextMessage(QString::fromUtf8(json)) < json.size()) {
            const QString reason = m_socket ? m_socket->errorString() : QString();
            report(std::make_exception_ptr(TransportError(TransportError::Kind::Failed, reason)));
            return;
        }
    }
}

void StreamingSocket::close(QWebSocketProtocol::CloseCode code)
{
    cancelConnectTimer();
    if (!m_socket || m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    // A socket that has already failed cannot carry a closing handshake any more.
    if (m_socket->error() != QAbstractSocket::UnknownSocketError)
        m_socket->abort();
    else
        m_socket->close(code, QString());
}

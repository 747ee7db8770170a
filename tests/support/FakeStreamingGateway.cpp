#include "tests/support/FakeStreamingGateway.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebSocket>

FakeStreamingGateway::FakeStreamingGateway(QObject* parent)
    : QObject(parent)
    , m_server(QStringLiteral("fake gateway"), QWebSocketServer::NonSecureMode)
{
    if (!m_front.listen(QHostAddress::LocalHost, 0))
        qFatal("fake streaming gateway could not listen on 127.0.0.1");
    connect(&m_front, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_front.nextPendingConnection())
            screen(socket);
    });
    connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
        while (m_server.hasPendingConnections())
            take(std::unique_ptr<QWebSocket>(m_server.nextPendingConnection()));
    });
}

void FakeStreamingGateway::screen(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        // Peeked, not read: the WebSocket server reads the handshake itself.
        const QByteArray head = socket->peek(socket->bytesAvailable());
        if (!head.contains("\r\n\r\n"))
            return;
        socket->disconnect(this);
        for (const QString& bearer : std::as_const(refusedBearers)) {
            if (head.contains("Authorization: Bearer " + bearer.toUtf8() + "\r\n")) {
                ++m_refused;
                socket->readAll();
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                socket->write("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
                socket->disconnectFromHost();
                return;
            }
        }
        m_server.handleConnection(socket);
    });
}

void FakeStreamingGateway::take(std::unique_ptr<QWebSocket> socket)
{
    QWebSocket* raw = socket.get();
    m_sockets.push_back(std::move(socket));
    accept(raw);
}

QUrl FakeStreamingGateway::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_front.serverPort()));
}

FakeStreamingGateway::~FakeStreamingGateway()
{
    for (const std::unique_ptr<QWebSocket>& socket : m_sockets)
        socket->disconnect(this);
}

void FakeStreamingGateway::accept(QWebSocket* socket)
{
    m_socket = socket;
    m_handshake = socket->request();
    m_disconnected = false;
    m_closeCode.reset();
    connect(socket, &QWebSocket::textMessageReceived, this, &FakeStreamingGateway::onText);
    connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        // Qt reports 1006 (abnormal) when the peer vanished without a closing handshake.
        if (socket->closeCode() != QWebSocketProtocol::CloseCodeAbnormalDisconnection)
            m_closeCode = int(socket->closeCode());
        m_disconnected = true;
    });
}

void FakeStreamingGateway::onText(const QString& frame)
{
    const QJsonObject message = QJsonDocument::fromJson(frame.toUtf8()).object();
    m_messages.append(message);
    m_raw.append(frame);
    const QString type = message.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("input_audio_buffer.append")) {
        m_audioChunks.append(QByteArray::fromBase64(message.value(QStringLiteral("audio")).toString().toLatin1()));
    } else if (type == QLatin1String("session.update")) {
        if (confirmAtOnce)
            confirm();
    } else if (type == QLatin1String("input_audio_buffer.commit")) {
        if (answerCommits) {
            QString transcript;
            if (!m_transcripts.empty()) {
                transcript = m_transcripts.front();
                m_transcripts.pop_front();
            }
            answerCommit(transcript);
        }
    }
}

void FakeStreamingGateway::confirm()
{
    sendEvent({{QStringLiteral("type"), QStringLiteral("session.updated")}});
}

void FakeStreamingGateway::sendEvent(const QJsonObject& event)
{
    sendText(QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)));
}

void FakeStreamingGateway::sendText(const QString& frame)
{
    if (m_socket)
        m_socket->sendTextMessage(frame);
}

void FakeStreamingGateway::sendBinary(const QByteArray& frame)
{
    if (m_socket)
        m_socket->sendBinaryMessage(frame);
}

void FakeStreamingGateway::answerCommit(const QString& transcript)
{
    sendEvent({{QStringLiteral("type"), QStringLiteral("conversation.item.input_audio_transcription.completed")},
               {QStringLiteral("transcript"), transcript}});
}

void FakeStreamingGateway::liveText(const QString& text, const QString& stash)
{
    sendEvent({{QStringLiteral("type"), QStringLiteral("conversation.item.input_audio_transcription.text")},
               {QStringLiteral("text"), text},
               {QStringLiteral("stash"), stash}});
}

void FakeStreamingGateway::serviceError(const QString& message)
{
    sendEvent({{QStringLiteral("type"), QStringLiteral("error")},
               {QStringLiteral("error"), QJsonObject{{QStringLiteral("message"), message}}}});
}

void FakeStreamingGateway::closeConnection(QWebSocketProtocol::CloseCode code)
{
    if (m_socket)
        m_socket->close(code);
}

void FakeStreamingGateway::dropConnection()
{
    if (m_socket)
        m_socket->abort();
}

QStringList FakeStreamingGateway::messageTypes() const
{
    QStringList types;
    for (const QJsonObject& message : m_messages)
        types.append(message.value(QStringLiteral("type")).toString());
    return types;
}

int FakeStreamingGateway::countOf(const QString& type) const
{
    return int(messageTypes().count(type));
}

qsizetype FakeStreamingGateway::audioSamples() const
{
    qsizetype bytes = 0;
    for (const QByteArray& chunk : m_audioChunks)
        bytes += chunk.size();
    return bytes / 2;
}

bool FakeStreamingGateway::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool FakeStreamingGateway::waitForMessages(int count, int timeoutMs)
{
    return waitFor([&] { return m_messages.size() >= count; }, timeoutMs);
}

bool FakeStreamingGateway::waitForDisconnect(int timeoutMs)
{
    return waitFor([&] { return m_disconnected; }, timeoutMs);
}

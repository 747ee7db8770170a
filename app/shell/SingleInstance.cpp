#include "app/shell/SingleInstance.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QtEndian>

#include <unistd.h>

namespace {

constexpr int connectTimeoutMs = 500;
constexpr int writeTimeoutMs = 500;
// Arguments are a callback address or two; anything bigger is not from us.
constexpr quint32 maxMessageBytes = 64 * 1024;

} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
    // In the user's own runtime folder (0700, owned by them) no other user can put a listener
    // in our place and be handed a sign-in callback; a shared /tmp name is the last resort.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/murmo.socket");
    return QStringLiteral("murmo-%1").arg(::getuid());
}

bool SingleInstance::tryBecomePrimary()
{
    if (m_server)
        return true;
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(connectTimeoutMs))
        return false;
    // Nobody answers: whatever socket file is there belongs to an instance that is gone.
    QLocalServer::removeServer(m_name);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_name)) {
        delete server;
        return false;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            readFrom(socket);
        }
    });
    return true;
}

void SingleInstance::readFrom(QLocalSocket* socket)
{
    // One message per connection: a length, then the serialised list.
    if (socket->bytesAvailable() < qint64(sizeof(quint32)))
        return;
    quint32 length = 0;
    socket->peek(reinterpret_cast<char*>(&length), sizeof length);
    length = qFromBigEndian(length);
    if (length > maxMessageBytes) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < qint64(sizeof length + length))
        return;
    socket->skip(sizeof length);
    QDataStream stream(socket->read(length));
    stream.setVersion(QDataStream::Qt_6_0);
    QStringList args;
    stream >> args;
    socket->disconnectFromServer();
    if (stream.status() == QDataStream::Ok)
        Q_EMIT messageReceived(args);
}

bool SingleInstance::sendToPrimary(const QStringList& args) const
{
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << args;
    if (payload.size() > qsizetype(maxMessageBytes))
        return false;
    const quint32 length = qToBigEndian(quint32(payload.size()));

    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    socket.write(reinterpret_cast<const char*>(&length), sizeof length);
    socket.write(payload);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(writeTimeoutMs))
            return false;
    }
    // Wait for the primary to hang up, so the message is read before this process exits.
    if (socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(writeTimeoutMs);
    return true;
}

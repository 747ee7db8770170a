#include "app/shell/SingleInstance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int connectTimeoutMs = 500;
constexpr int writeTimeoutMs = 500;
// How long a later launch keeps trying while the lock's holder is still starting to listen.
constexpr int primaryStartMs = 3000;
constexpr unsigned long connectRetryMs = 25;

int openLockFile(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// Whether a process holds the lock at path (it has not ended).
bool lockIsHeld(const QString& path)
{
    const int fd = openLockFile(path);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{
    m_listenCheck.setInterval(listenCheckInterval);
    connect(&m_listenCheck, &QTimer::timeout, this, [this] {
        if (m_server && !m_server->isListening())
            listen();
    });
}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock: once the lock is free, the next instance's socket may
    // already stand where ours was, and closing ours then would remove it.
    delete m_server;
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::defaultName()
{
    // In the user's own runtime folder (0700, owned by them) no other user can put a listener
    // in our place and be handed a sign-in callback; a shared /tmp name is the last resort.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/murmo.socket");
    return QStringLiteral("murmo-%1").arg(::getuid());
}

QString SingleInstance::socketPath() const
{
    // Where QLocalServer puts a name that is not a path.
    return QDir::isAbsolutePath(m_name) ? m_name : QDir::tempPath() + QLatin1Char('/') + m_name;
}

bool SingleInstance::isInPrivateFolder() const
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return !runtime.isEmpty() && QFileInfo(socketPath()).absolutePath() == QDir(runtime).absolutePath();
}

QString SingleInstance::lockPath() const
{
    return socketPath() + QStringLiteral(".lock");
}

bool SingleInstance::tryBecomePrimary()
{
    if (m_server)
        return true;
    // An flock on the file, held for the process's life: the kernel lets go when the process
    // ends however it ends, so a lock is never stale.
    int lock = openLockFile(lockPath());
    if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(lock);
        if (taken)
            return false;
        lock = -1;
    }
    if (lock < 0) {
        // No lock can be made there (a read-only folder): the socket alone decides, as well as
        // it can.
        qWarning("single instance: cannot lock %s", qPrintable(lockPath()));
    }
    // An instance that listens without the lock (an older build) still counts.
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(connectTimeoutMs)) {
        if (lock >= 0)
            ::close(lock);
        return false;
    }
    m_lockFd = lock;
    m_server = new QLocalServer(this);
    // A socket in the user's own runtime folder is theirs alone already; elsewhere the server
    // makes it so, at the cost of a folder of its own to create it in.
    if (!isInPrivateFolder())
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    if (!listen()) {
        delete m_server;
        m_server = nullptr;
        ::close(std::exchange(m_lockFd, -1));
        return false;
    }
    m_listenCheck.start();
    return true;
}

bool SingleInstance::listen()
{
    // Whatever socket file is there belongs to an instance that is gone: a live one would hold
    // the lock.
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name);
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_connections >= maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // One message, soon, or the connection goes: an idle one holds a descriptor for nothing.
        QTimer::singleShot(m_messageDeadline, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        readFrom(socket);
    }
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
        socket->deleteLater();
        return;
    }
    if (socket->bytesAvailable() < qint64(sizeof length + length))
        return;
    socket->skip(sizeof length);
    const std::optional<QStringList> args = decodeMessage(socket->read(length));
    socket->disconnectFromServer();
    if (args)
        Q_EMIT messageReceived(*args);
}

QByteArray SingleInstance::encodeMessage(const QStringList& args)
{
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << args;
    const quint32 length = qToBigEndian(quint32(payload.size()));
    return QByteArray(reinterpret_cast<const char*>(&length), sizeof length) + payload;
}

std::optional<QStringList> SingleInstance::decodeMessage(const QByteArray& payload)
{
    if (payload.size() > qsizetype(maxMessageBytes) || payload.size() < qsizetype(sizeof(quint32)))
        return std::nullopt;
    // The list's count comes first, and Qt makes room for that many strings before it reads one:
    // a dozen bytes could ask for gigabytes. Each string takes four bytes at least.
    const quint32 count = qFromBigEndian<quint32>(payload.constData());
    if (count > quint32((payload.size() - qsizetype(sizeof count)) / 4))
        return std::nullopt;
    QDataStream stream(payload);
    stream.setVersion(QDataStream::Qt_6_0);
    QStringList args;
    stream >> args;
    if (stream.status() != QDataStream::Ok)
        return std::nullopt;
    return args;
}

bool SingleInstance::sendToPrimary(const QStringList& args) const
{
    const QByteArray message = encodeMessage(args);
    if (message.size() > qsizetype(sizeof(quint32) + maxMessageBytes))
        return false;

    // The lock's holder may have taken it a moment ago and not listen yet.
    const QDeadlineTimer starting(primaryStartMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(m_name);
        if (socket.waitForConnected(connectTimeoutMs))
            break;
        if (starting.hasExpired() || !lockIsHeld(lockPath()))
            return false;
        socket.abort();
        QThread::msleep(connectRetryMs);
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(writeTimeoutMs))
            return false;
    }
    // Wait for the primary to hang up, so the message is read before this process exits.
    if (socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(writeTimeoutMs);
    return true;
}

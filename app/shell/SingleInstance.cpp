#include "app/shell/SingleInstance.h"

#include "app/shell/FolderWatch.h"
#include "app/shell/PrivateFolder.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>

namespace {

constexpr int connectTimeoutMs = 500;
constexpr int writeTimeoutMs = 500;
// How long a later launch keeps trying while the lock's holder is still starting to listen.
constexpr int primaryStartMs = 3000;
constexpr unsigned long connectRetryMs = 25;
// What the running instance answers once it has acted on a message.
constexpr char actedAnswer = 'A';

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

// Whether the process that sent a message still waits for the answer: the connection is open and
// nothing follows the message. One that gave up has told its user that nothing was done.
bool senderWaits(QLocalSocket* socket)
{
    if (socket->state() != QLocalSocket::ConnectedState || socket->bytesAvailable() > 0)
        return false;
    char next = 0;
    const ssize_t peeked = ::recv(int(socket->socketDescriptor()), &next, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
{
    m_relisten.setSingleShot(true);
    m_relisten.setInterval(relistenInterval);
    connect(&m_relisten, &QTimer::timeout, this, &SingleInstance::keepListening);
}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock: once the lock is free, the next instance's socket may
    // already stand where ours was, and closing ours then would remove it.
    delete m_server;
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::defaultFolder()
{
    const uid_t user = ::getuid();
    QStringList candidates;
    // Qt gives the runtime folder only when it is the user's own and 0700.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        candidates << runtime + QStringLiteral("/murmo");
    // Anyone may make this name first; it is taken only when it turns out to be ours alone.
    candidates << QDir::tempPath() + QStringLiteral("/murmo-%1").arg(user);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache))
        candidates << cache + QStringLiteral("/murmo-instance");
    for (const QString& candidate : std::as_const(candidates)) {
        if (PrivateFolder::make(candidate, user))
            return candidate;
        qWarning("single instance: %s is not this user's alone; not used", qPrintable(candidate));
    }
    return {};
}

QString SingleInstance::socketPath() const
{
    return m_folder + QStringLiteral("/murmo.socket");
}

QString SingleInstance::lockPath() const
{
    return m_folder + QStringLiteral("/murmo.lock");
}

bool SingleInstance::takeLock()
{
    // An flock on the file, held for the process's life: the kernel lets go when the process
    // ends however it ends, so a lock is never stale.
    const int lock = openLockFile(lockPath());
    if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(lock);
        if (taken)
            return false;
        qWarning("single instance: cannot lock %s", qPrintable(lockPath()));
        return true;
    }
    if (lock < 0)
        qWarning("single instance: cannot lock %s", qPrintable(lockPath()));
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = lock;
    return true;
}

bool SingleInstance::tryBecomePrimary()
{
    if (m_server)
        return true;
    // A folder that is not ours alone may hold another user's listener: nothing of ours goes
    // there, and this process runs on its own rather than not at all.
    if (m_folder.isEmpty() || !PrivateFolder::make(m_folder, ::getuid())) {
        qWarning("single instance: no folder of this user's alone; running without one");
        return true;
    }
    if (!takeLock())
        return false;
    if (m_lockFd < 0) {
        // Without a lock (no descriptors left, say) the socket alone decides, as well as it can.
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        if (probe.waitForConnected(connectTimeoutMs))
            return false;
    }
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    if (!listen()) {
        delete std::exchange(m_server, nullptr);
        if (m_lockFd >= 0)
            ::close(std::exchange(m_lockFd, -1));
        return false;
    }
    m_watch = new FolderWatch(this);
    connect(m_watch, &FolderWatch::somethingLeft, this, &SingleInstance::keepListening);
    if (!m_watch->watch(m_folder))
        m_relisten.start();
    return true;
}

bool SingleInstance::listen()
{
    // Whatever socket file is there belongs to an instance that is gone: a live one would hold
    // the lock.
    QLocalServer::removeServer(socketPath());
    return m_server->listen(socketPath());
}

void SingleInstance::keepListening()
{
    if (!m_server)
        return;
    // The folder itself went (the runtime folder was cleared): made anew, with a new lock, which
    // a launch meanwhile may have taken first.
    if (!PrivateFolder::isPrivate(m_folder, ::getuid())) {
        m_server->close();
        if (!PrivateFolder::make(m_folder, ::getuid())) {
            m_relisten.start();
            return;
        }
        if (!takeLock()) {
            // Its socket is not ours to remove: this process listens no more.
            qWarning("single instance: another instance took over %s", qPrintable(m_folder));
            delete std::exchange(m_server, nullptr);
            return;
        }
    }
    const bool watching = m_watch->watch(m_folder);
    if (!m_server->isListening() || !QFileInfo::exists(socketPath())) {
        m_server->close();
        if (!listen()) {
            m_relisten.start();
            return;
        }
    }
    // When the kernel will not watch, looking now and then is what is left.
    if (!watching)
        m_relisten.start();
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // Not a byte is read from another user's process.
        if (m_connections >= maxConnections || PrivateFolder::peerUser(int(socket->socketDescriptor())) != m_peerUser) {
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
    if (!args || !senderWaits(socket)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    QPointer<QLocalSocket> guard(socket);
    Q_EMIT messageReceived(*args);
    if (!guard)
        return;
    // Acted on: the sender may say so. Written out at once: the act may have been to quit, and
    // the event loop then ends before it would have written it.
    socket->putChar(actedAnswer);
    socket->flush();
    socket->disconnectFromServer();
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

SingleInstance::Delivery SingleInstance::sendToPrimary(const QStringList& args) const
{
    const QByteArray message = encodeMessage(args);
    if (message.size() > qsizetype(sizeof(quint32) + maxMessageBytes))
        return Delivery::Unanswered;
    if (!PrivateFolder::isPrivate(m_folder, ::getuid()))
        return Delivery::Unreachable;

    // The lock's holder may have taken it a moment ago and not listen yet.
    const QDeadlineTimer starting(primaryStartMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(connectTimeoutMs))
            break;
        if (starting.hasExpired() || !lockIsHeld(lockPath()))
            return Delivery::Unreachable;
        socket.abort();
        QThread::msleep(connectRetryMs);
    }
    // What is sent may be a sign-in's tokens: only to a process of this user's.
    if (PrivateFolder::peerUser(int(socket.socketDescriptor())) != m_peerUser)
        return Delivery::Unreachable;
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(writeTimeoutMs))
            return Delivery::Unanswered;
    }
    // The answer comes once the message was acted on. Going away here tells the instance not to
    // act on it after all, should it read it later (it was stopped, say).
    const QDeadlineTimer answering(answerTimeout);
    while (socket.bytesAvailable() < 1) {
        if (socket.state() != QLocalSocket::ConnectedState || answering.hasExpired())
            return Delivery::Unanswered;
        socket.waitForReadyRead(int(answering.remainingTime()));
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == actedAnswer ? Delivery::Acted : Delivery::Unanswered;
}

#include "app/shell/SingleInstance.h"

#include "app/shell/FolderWatch.h"
#include "app/shell/PrivateFolder.h"

#include <QDataStream>
#include <QDeadlineTimer>
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
#include <sys/stat.h>

namespace {

constexpr int connectTimeoutMs = 500;
constexpr int writeTimeoutMs = 500;
// How long a later launch keeps trying while the lock's holder is still starting to listen.
constexpr int primaryStartMs = 3000;
constexpr unsigned long connectRetryMs = 25;

// The lock file, made 0600 whatever the umask. Reading is all a lock needs, so a file the umask
// left without its owner's write bit (0400) is still opened, and given it back.
int openLockFile(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    constexpr int flags = O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(encoded.constData(), flags, S_IRUSR | S_IWUSR);
    // A umask that takes even the owner's read bit: the file is this user's, in a folder of theirs.
    if (fd < 0 && errno == EACCES && ::chmod(encoded.constData(), S_IRUSR | S_IWUSR) == 0)
        fd = ::open(encoded.constData(), flags, S_IRUSR | S_IWUSR);
    if (fd >= 0)
        ::fchmod(fd, S_IRUSR | S_IWUSR);
    return fd;
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

// Tells a launch what became of its message.
void tell(QLocalSocket& socket, SingleInstance::Answer answer)
{
    // Written out at once: the act may have been to quit, and the event loop then ends before it
    // would have written it.
    socket.putChar(char(answer));
    socket.flush();
    socket.disconnectFromServer();
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
    // Always the same place for the same session, and none that another user could make first:
    // never a name in the shared temporary folder. Qt's runtime location falls back to one there,
    // so the variable itself is read.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    QString folder;
    if (!runtime.isEmpty() && PrivateFolder::isPrivate(runtime, user))
        folder = runtime + QStringLiteral("/murmo");
    else if (!cache.isEmpty())
        folder = cache + QStringLiteral("/murmo-instance");
    else
        return {};
    if (PrivateFolder::make(folder, user))
        return folder;
    qWarning("single instance: %s is not this user's alone; not used", qPrintable(folder));
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
    if (!m_server->listen(socketPath()))
        return false;
    // Bound with the umask's mode: a launch needs the owner's write bit to connect. One that
    // comes before this tries again.
    ::chmod(QFile::encodeName(socketPath()).constData(), S_IRUSR | S_IWUSR);
    return true;
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
        // One message, soon, or the connection goes: an idle one holds a descriptor for nothing.
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(m_messageDeadline);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, deadline] { readFrom(socket, deadline); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        readFrom(socket, deadline);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket, QTimer* deadline)
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
    // Whole: an answer that takes a while is not cut short.
    deadline->stop();
    m_answering = socket;
    m_answerTaken = false;
    Q_EMIT messageReceived(*args);
    const QPointer<QLocalSocket> answering = std::exchange(m_answering, nullptr);
    if (answering && !m_answerTaken)
        tell(*answering, Answer::Acted);
}

std::function<void(SingleInstance::Answer)> SingleInstance::answerLater()
{
    m_answerTaken = true;
    return [socket = m_answering](Answer answer) {
        if (socket)
            tell(*socket, answer);
    };
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
    socket.getChar(&answer);
    switch (Answer(answer)) {
    case Answer::Acted:
        return Delivery::Acted;
    case Answer::ActedTextsKept:
        return Delivery::ActedTextsKept;
    case Answer::AskedInWindow:
        return Delivery::AskedInWindow;
    }
    return Delivery::Unanswered;
}

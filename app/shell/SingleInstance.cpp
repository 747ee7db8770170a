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
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace {

constexpr int connectTimeoutMs = 500;
constexpr int writeTimeoutMs = 500;
// How long a later launch keeps trying while the lock's holder is still starting to listen.
constexpr int primaryStartMs = 3000;
constexpr unsigned long connectRetryMs = 25;

// The lock file, or -1 with errno set. Made 0600 whatever the umask when create says so: a file
// the umask left without its owner's rights is given them back. One that is not a plain file of
// the user's own (put there while the user had opened the folder to others) is not used.
int openLockFile(const QString& path, uid_t user, bool create)
{
    const QByteArray encoded = QFile::encodeName(path);
    // Non-blocking: a pipe in the file's place would hold the open up for good.
    const int flags = (create ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(encoded.constData(), flags, S_IRUSR | S_IWUSR);
    if (fd < 0 && errno == EACCES &&
        ::fchmodat(AT_FDCWD, encoded.constData(), S_IRUSR | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0)
        fd = ::open(encoded.constData(), flags, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return -1;
    struct stat status
    {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != user) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    if (create)
        ::fchmod(fd, S_IRUSR | S_IWUSR);
    return fd;
}

// The whole file, write-locked. An open file description's lock (not flock): a launch can ask
// whether it is held without taking it, so that asking never keeps a launch beside it from
// taking it; and it is let go when the process ends however it ends, so it is never stale.
struct flock wholeFile()
{
    struct flock lock
    {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return lock;
}

// Whether a process holds the lock at path, taking nothing and making nothing.
SingleInstance::Lock lockState(const QString& path, uid_t user)
{
    const int fd = openLockFile(path, user, false);
    if (fd < 0)
        return errno == ENOENT ? SingleInstance::Lock::Free : SingleInstance::Lock::Unusable;
    struct flock lock = wholeFile();
    const bool asked = ::fcntl(fd, F_OFD_GETLK, &lock) == 0;
    ::close(fd);
    if (!asked)
        return SingleInstance::Lock::Unusable;
    return lock.l_type == F_UNLCK ? SingleInstance::Lock::Free : SingleInstance::Lock::Held;
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

SingleInstance::SingleInstance(QString lockFolder, QString socketFolder, QObject* parent)
    : QObject(parent)
    , m_lockFolder(std::move(lockFolder))
    , m_socketFolder(std::move(socketFolder))
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

QString SingleInstance::defaultSocketFolder()
{
    // Always the same place for the same session, and none that another user could make first:
    // never a name in the shared temporary folder. Qt's runtime location falls back to one there,
    // so the variable itself is read.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && PrivateFolder::isPrivate(runtime, ::getuid()))
        return runtime + QStringLiteral("/murmo");
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/murmo-instance");
}

QString SingleInstance::socketPath() const
{
    return m_socketFolder + QStringLiteral("/murmo.socket");
}

QString SingleInstance::lockPath() const
{
    return m_lockFolder + QStringLiteral("/murmo.lock");
}

bool SingleInstance::lockFolderUsable() const
{
    // Where another user may put files, they could hold the lock, or stand in for it.
    if (PrivateFolder::make(m_lockFolder, ::getuid()))
        return true;
    qWarning("single instance: %s is not this user's alone (another user's, a link or a file); not used",
             qPrintable(m_lockFolder));
    return false;
}

SingleInstance::Lock SingleInstance::takeLock()
{
    if (!lockFolderUsable())
        return Lock::Unusable;
    const int fd = openLockFile(lockPath(), ::getuid(), true);
    struct flock lock = wholeFile();
    if (fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0) {
        m_lockFd = fd;
        return Lock::Ours;
    }
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (error == EAGAIN || error == EACCES)
        return Lock::Held;
    // Without the lock (no descriptors left, say) nothing says that no instance runs.
    qWarning("single instance: cannot lock %s: %s", qPrintable(lockPath()), std::strerror(error));
    return Lock::Unusable;
}

SingleInstance::Lock SingleInstance::claim()
{
    if (m_lockFd >= 0)
        return Lock::Ours;
    if (const Lock found = takeLock(); found != Lock::Ours)
        return found;
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    m_watch = new FolderWatch(this);
    connect(m_watch, &FolderWatch::somethingLeft, this, &SingleInstance::keepListening);
    keepListening();
    return Lock::Ours;
}

SingleInstance::Lock SingleInstance::probe()
{
    if (m_lockFd >= 0)
        return Lock::Ours;
    struct stat status
    {};
    // No folder, no instance: nothing is made for a question.
    if (::lstat(QFile::encodeName(m_lockFolder).constData(), &status) != 0 && errno == ENOENT)
        return Lock::Free;
    return lockFolderUsable() ? lockState(lockPath(), ::getuid()) : Lock::Unusable;
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
    // The folder went (the runtime folder was cleared), was opened to others, or another user's
    // stands in its place: one of ours is closed or made anew; another's is left as it is, and
    // looked at again later. Meanwhile no launch reaches this one, and none runs beside it.
    if (!PrivateFolder::isPrivate(m_socketFolder, ::getuid())) {
        m_server->close();
        if (!PrivateFolder::make(m_socketFolder, ::getuid())) {
            if (!std::exchange(m_socketFolderRefused, true))
                qWarning("single instance: %s is not this user's alone; no launch reaches this one until it is",
                         qPrintable(m_socketFolder));
            m_relisten.start();
            return;
        }
    }
    m_socketFolderRefused = false;
    const bool watching = m_watch->watch(m_socketFolder);
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
    // A folder of the user's that they opened to others is closed again; in one that is not
    // theirs, nothing is looked for.
    if (!PrivateFolder::make(m_socketFolder, ::getuid()))
        return Delivery::Unreachable;

    // The lock's holder may have taken it a moment ago and not listen yet.
    const QDeadlineTimer starting(primaryStartMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(connectTimeoutMs))
            break;
        if (starting.hasExpired() || lockState(lockPath(), ::getuid()) != Lock::Held)
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

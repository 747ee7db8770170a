#include "app/shell/SingleInstance.h"

#include "platform/SingleInstanceSystem.h"

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

#include <sys/socket.h>

namespace {

constexpr int connectTimeoutMs = 500;
constexpr int writeTimeoutMs = 500;
// How long a later launch keeps trying while the lock's holder is still starting to listen.
constexpr int primaryStartMs = 3000;
constexpr unsigned long connectRetryMs = 25;
// How long a launch waits to learn whether an instance answers on the socket: a live one
// accepts at once, since the kernel queues the connection for it.
constexpr int answersTimeoutMs = 200;

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

SingleInstance::SingleInstance(SingleInstanceSystem& system, QString lockFolder, QString socketFolder, QObject* parent)
    : QObject(parent)
    , m_system(system)
    , m_lockFolder(std::move(lockFolder))
    , m_socketFolder(std::move(socketFolder))
    , m_peerUser(system.user())
{
    m_relisten.setSingleShot(true);
    m_relisten.setInterval(relistenInterval);
    connect(&m_relisten, &QTimer::timeout, this, &SingleInstance::keepListening);
}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock: once the lock is free, the next instance's socket may
    // already stand where ours was, and closing ours then would remove it.
    stopListening();
    if (m_holding) {
        m_system.release();
        m_system.setChanged({});
    }
}

QString SingleInstance::defaultSocketFolder(const SingleInstanceSystem& system)
{
    // Always the same place for the same session, and none that another user could make first:
    // never a name in the shared temporary folder.
    const QString runtime = system.runtimeFolder();
    if (!runtime.isEmpty())
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

int SingleInstance::error() const
{
    return m_system.error();
}

SingleInstance::Lock SingleInstance::takeLock()
{
    // Where another user may put files, they could hold the lock, or stand in for it.
    const SingleInstanceSystem::Folder folder = m_system.dataFolder(m_lockFolder, true);
    if (folder.kind != SingleInstanceSystem::Folder::Kind::Usable) {
        m_problem = Problem::DataFolder;
        return Lock::Unusable;
    }
    m_lockFile = folder.path + QStringLiteral("/murmo.lock");
    switch (m_system.take(m_lockFile)) {
    case SingleInstanceSystem::Lock::Ours:
        m_problem = Problem::None;
        return Lock::Ours;
    case SingleInstanceSystem::Lock::Held:
        return Lock::Held;
    case SingleInstanceSystem::Lock::Refused:
        m_problem = Problem::LockFile;
        return Lock::Unusable;
    case SingleInstanceSystem::Lock::Unsupported:
        m_problem = Problem::CannotLock;
        return Lock::Unlocked;
    case SingleInstanceSystem::Lock::Free:
    case SingleInstanceSystem::Lock::Failed:
        break;
    }
    // Without the lock (no descriptors left, say) nothing says that no instance runs.
    m_problem = Problem::CannotLock;
    return Lock::Unusable;
}

bool SingleInstance::instanceAnswers() const
{
    // Only in a folder of the user's alone: elsewhere anyone could answer.
    if (!m_system.isPrivate(m_socketFolder))
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    return socket.waitForConnected(answersTimeoutMs) &&
           m_system.peerUser(int(socket.socketDescriptor())) == std::optional<uid_t>(m_peerUser);
}

SingleInstance::Lock SingleInstance::claim()
{
    if (m_holding)
        return m_unlocked ? Lock::Unlocked : Lock::Ours;
    const Lock found = takeLock();
    if (found != Lock::Ours && found != Lock::Unlocked)
        return found;
    // A lock free while an instance of this user answers: its file was removed or replaced under
    // the holder (a clean-up, a reset, a restored copy), or no lock can be kept here.
    if (instanceAnswers()) {
        if (found == Lock::Ours)
            m_system.release();
        return Lock::Held;
    }
    m_holding = true;
    m_unlocked = found == Lock::Unlocked;
    startListening();
    return found;
}

SingleInstance::Lock SingleInstance::probe()
{
    if (m_holding)
        return m_unlocked ? Lock::Unlocked : Lock::Ours;
    // No folder, no lock: nothing is made for a question, and only the socket can say.
    const SingleInstanceSystem::Folder folder = m_system.dataFolder(m_lockFolder, false);
    switch (folder.kind) {
    case SingleInstanceSystem::Folder::Kind::Refused:
        m_problem = Problem::DataFolder;
        return Lock::Unusable;
    case SingleInstanceSystem::Folder::Kind::Missing:
        return instanceAnswers() ? Lock::Held : Lock::Free;
    case SingleInstanceSystem::Folder::Kind::Usable:
        break;
    }
    m_lockFile = folder.path + QStringLiteral("/murmo.lock");
    switch (m_system.check(m_lockFile)) {
    case SingleInstanceSystem::Lock::Held:
        return Lock::Held;
    case SingleInstanceSystem::Lock::Ours:
    case SingleInstanceSystem::Lock::Free:
    case SingleInstanceSystem::Lock::Unsupported:
        return instanceAnswers() ? Lock::Held : Lock::Free;
    case SingleInstanceSystem::Lock::Refused:
        m_problem = Problem::LockFile;
        return Lock::Unusable;
    case SingleInstanceSystem::Lock::Failed:
        break;
    }
    m_problem = Problem::CannotLock;
    return Lock::Unusable;
}

SingleInstance::Launch SingleInstance::launchOnce(const QStringList& args, bool quit)
{
    Launch outcome{quit ? probe() : claim()};
    if (outcome.lock == Lock::Held)
        outcome.delivery = sendToPrimary(args);
    return outcome;
}

SingleInstance::Launch SingleInstance::launch(const QStringList& args, bool quit)
{
    const Launch outcome = launchOnce(args, quit);
    // Unreachable or unanswered: the holder may be ending (its loop is over, it is saving), and
    // its lock goes in a moment. Another user's is not waited for.
    if (outcome.lock != Lock::Held || m_reachedOthers ||
        (outcome.delivery != Delivery::Unreachable && outcome.delivery != Delivery::Unanswered))
        return outcome;
    const QDeadlineTimer ending(endingWait);
    do {
        QThread::msleep(connectRetryMs);
        const QString file = m_lockFile.isEmpty() ? lockPath() : m_lockFile;
        if (m_system.check(file) != SingleInstanceSystem::Lock::Held && !instanceAnswers())
            return launchOnce(args, quit);
    } while (!ending.hasExpired());
    return outcome;
}

void SingleInstance::startListening()
{
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    m_system.setChanged([this] {
        keepLock();
        keepListening();
    });
    if (!m_unlocked)
        m_system.watch(QFileInfo(m_lockFile).path());
    keepListening();
}

void SingleInstance::stopListening()
{
    m_relisten.stop();
    delete std::exchange(m_server, nullptr);
}

void SingleInstance::keepLock()
{
    // The lock's file was removed, or the data folder was, or replaced by a copy: the lock held
    // is on a file no launch finds. The folder is not made again here (a copy being put back
    // would land inside it); a launch makes it, finds this one answering, and hands over.
    if (!m_holding || m_unlocked || m_system.stillNamed(lockPath()))
        return;
    const SingleInstanceSystem::Folder folder = m_system.dataFolder(m_lockFolder, false);
    if (folder.kind != SingleInstanceSystem::Folder::Kind::Usable)
        return;
    const QString file = folder.path + QStringLiteral("/murmo.lock");
    if (m_system.take(file) != SingleInstanceSystem::Lock::Ours)
        return; // a launch holds it a moment, and hands over: its connection comes here next
    m_lockFile = file;
    m_system.watch(folder.path);
}

bool SingleInstance::listen()
{
    // A socket that an instance answers on stays: taking its place would leave it unreached. Any
    // other belongs to an instance that is gone.
    if (instanceAnswers())
        return false;
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath()))
        return false;
    // Bound with the umask's mode: a launch needs the owner's write bit to connect. One that
    // comes before this tries again.
    QFile::setPermissions(socketPath(), QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

void SingleInstance::keepListening()
{
    if (!m_server)
        return;
    // The folder went (the runtime folder was cleared), was opened to others, or another user's
    // stands in its place: one of ours is closed or made anew; another's is left as it is, and
    // looked at again later. Meanwhile no launch reaches this one, and none runs beside it.
    if (!m_system.isPrivate(m_socketFolder)) {
        m_server->close();
        if (!m_system.makePrivate(m_socketFolder)) {
            if (!std::exchange(m_socketFolderRefused, true))
                qWarning("single instance: %s is not this user's alone; no launch reaches this one until it is",
                         qPrintable(m_socketFolder));
            m_relisten.start();
            return;
        }
    }
    m_socketFolderRefused = false;
    const bool watching = m_system.watch(m_socketFolder);
    if (!m_server->isListening() || !QFileInfo::exists(socketPath())) {
        m_server->close();
        if (!listen()) {
            // Another instance answering there is looked at again when its socket goes.
            if (!watching || !instanceAnswers())
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
    // A launch may come because it found the lock's file gone: this is when to take it again.
    keepLock();
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // Not a byte is read from another user's process.
        if (m_connections >= maxConnections ||
            m_system.peerUser(int(socket->socketDescriptor())) != std::optional<uid_t>(m_peerUser)) {
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
    m_reachedOthers = false;
    const QByteArray message = encodeMessage(args);
    if (message.size() > qsizetype(sizeof(quint32) + maxMessageBytes))
        return Delivery::Unanswered;
    // A folder of the user's that they opened to others is closed again; in one that is not
    // theirs, nothing is looked for.
    if (!m_system.makePrivate(m_socketFolder)) {
        m_reachedOthers = true;
        return Delivery::Unreachable;
    }

    // The lock's holder may have taken it a moment ago and not listen yet.
    const QDeadlineTimer starting(primaryStartMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(connectTimeoutMs))
            break;
        if (starting.hasExpired() ||
            m_system.check(m_lockFile.isEmpty() ? lockPath() : m_lockFile) != SingleInstanceSystem::Lock::Held)
            return Delivery::Unreachable;
        socket.abort();
        QThread::msleep(connectRetryMs);
    }
    // What is sent may be a sign-in's tokens: only to a process of this user's.
    if (m_system.peerUser(int(socket.socketDescriptor())) != std::optional<uid_t>(m_peerUser)) {
        m_reachedOthers = true;
        return Delivery::Unreachable;
    }
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

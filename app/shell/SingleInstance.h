#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

#include <sys/types.h>
#include <unistd.h>

class QLocalServer;
class QLocalSocket;
class SingleInstanceSystem;

// One running Murmo per user. The first launch locks a file beside the user's personal data, in
// a folder of the user's own (0700, its owner checked; or a link of the user's own to one), and
// holds the lock for its whole life; it listens on a local socket in a second such folder, the
// session's. A later launch finds the lock taken, hands its arguments (a "murmo:" callback
// address, "--quit", or nothing: "show yourself") to the first, and waits for the first to say it
// acted on them. The lock decides who is first: however many launches race, one wins, and
// whatever becomes of the socket's folder no launch runs beside the lock's holder, whose files two
// instances would overwrite. Whatever becomes of the lock's file, the holder takes it again once
// it sees it gone, and a launch that finds the lock free while an instance of this user answers on
// the socket hands over to it all the same; a socket that an instance answers on is never
// removed. Both ends check that the other runs as this user before a byte goes either way. Main
// thread only.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The most connections read at once; more are dropped unread.
    static constexpr int maxConnections = 8;
    // How long a connection may take to deliver its one message before it is dropped.
    static constexpr std::chrono::milliseconds defaultMessageDeadline{2000};
    // How long a later launch waits for the running instance to say it acted.
    static constexpr std::chrono::milliseconds answerTimeout{5000};
    // How soon listening is tried again after it failed (no descriptors left, say), and how often
    // the socket is looked at when the kernel cannot say that it went.
    static constexpr std::chrono::milliseconds relistenInterval{2000};

    // How long a launch that met an instance that is ending tries to claim again.
    static constexpr std::chrono::milliseconds endingWait{600};

    // lockFolder: the personal data's folder, where the lock lives; socketFolder: the socket's.
    SingleInstance(SingleInstanceSystem& system, QString lockFolder, QString socketFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Where the socket lives: in the user's runtime folder when the session has one of the
    // user's alone, else in the user's cache.
    static QString defaultSocketFolder(const SingleInstanceSystem& system);

    enum class Lock
    {
        // This process holds it.
        Ours,
        // Nobody holds it: nothing runs.
        Free,
        // Another instance holds it: this process should sendToPrimary() and end.
        Held,
        // This process runs without a lock, where the file system keeps none; it listens, and
        // launches reach it all the same.
        Unlocked,
        // Its folder or its file is not this user's alone, or the file cannot be locked
        // (problem() says which): this process should end without running.
        Unusable,
    };
    Q_ENUM(Lock)
    // Takes the lock (Ours) and listens, when no other instance holds it and none answers on the
    // socket. A socket left behind by a crashed instance is taken over; while the socket's folder
    // is not this user's alone, it is not listened in, and no later launch reaches this one.
    Lock claim();
    // Whether an instance runs, taking nothing, so that a launch beside this one may claim, and
    // making nothing when there is no lock folder.
    Lock probe();
    const QString& lockFolder() const { return m_lockFolder; }

    enum class Problem
    {
        None,
        // The data folder is another user's, a file, or a link that is not the user's set-up.
        DataFolder,
        // The lock file is not a plain file of the user's.
        LockFile,
        // The system would not lock (error() says why).
        CannotLock,
    };
    // Why the lock was Unusable, or could not be kept (Unlocked).
    Problem problem() const { return m_problem; }
    int error() const;
    const QString& socketFolder() const { return m_socketFolder; }

    // What the running instance tells a launch it did with its message.
    enum class Answer : char
    {
        Acted = 'A',
        // It acted: it ends, and texts it had still to type are left in its history instead.
        ActedTextsKept = 'K',
        // It did not act but put the question to its user, in its window (a quit that would lose
        // history entries the disk refused).
        AskedInWindow = 'W',
    };
    Q_ENUM(Answer)
    // A slot of messageReceived that cannot act at once takes the answer over: the launch is told
    // what the returned function is given, instead of Acted once the slots have returned.
    std::function<void(Answer)> answerLater();

    enum class Delivery
    {
        Acted,
        ActedTextsKept,
        AskedInWindow,
        // It took the message but never said it acted (dropped, ending, or stopped); a message
        // whose sender has stopped waiting is not acted on.
        Unanswered,
        // No instance of this user's could be reached.
        Unreachable,
    };
    Q_ENUM(Delivery)
    // Delivers args to the instance that holds the lock and waits for its answer. Blocks for a
    // few seconds at most (the first instance may still be starting to listen): it runs before
    // this process has an event loop.
    Delivery sendToPrimary(const QStringList& args) const;
    // Whether the last delivery found the socket's folder, or the process listening there, not
    // this user's: trying again later does not help.
    bool reachedOthers() const { return m_reachedOthers; }

    struct Launch
    {
        Lock lock;
        // What became of the arguments, when another instance holds the lock.
        Delivery delivery = Delivery::Unreachable;
    };
    // What a launch does: claims (a quit only asks, taking nothing), and where another instance
    // holds the lock, hands args over. An instance that is ending (it no longer listens or
    // answers) is waited out for endingWait at most, and claimed again.
    Launch launch(const QStringList& args, bool quit);

    // The instance is ending: launches no longer reach it, and wait for its lock to go.
    void stopListening();

    // The message a later launch sends: a big-endian length, then the list serialised. decode
    // takes the part after the length; none when it is not a whole, valid list.
    static QByteArray encodeMessage(const QStringList& args);
    static std::optional<QStringList> decodeMessage(const QByteArray& payload);
    // Arguments are a callback address or two; anything bigger is not from us.
    static constexpr quint32 maxMessageBytes = 64 * 1024;

    // Tests shorten the time a connection has for its message.
    void setMessageDeadline(std::chrono::milliseconds deadline) { m_messageDeadline = deadline; }
    // Tests play another user at the other end: the user whose processes this one talks to.
    void setPeerUser(uid_t user) { m_peerUser = user; }

Q_SIGNALS:
    // The connected slots act on the message; when they have returned, the sender is told so,
    // unless one took the answer over (answerLater()).
    void messageReceived(const QStringList& args);

private:
    QString socketPath() const;
    QString lockPath() const;
    Lock takeLock();
    Launch launchOnce(const QStringList& args, bool quit);
    bool instanceAnswers() const;
    void startListening();
    bool listen();
    void keepListening();
    void keepLock();
    void accept();
    void readFrom(QLocalSocket* socket, QTimer* deadline);

    SingleInstanceSystem& m_system;
    QString m_lockFolder;
    QString m_socketFolder;
    uid_t m_peerUser;
    // Whether this process holds the lock, or runs where none can be held.
    bool m_holding = false;
    bool m_unlocked = false;
    // The lock file, where the data folder's link (if any) leads.
    QString m_lockFile;
    Problem m_problem = Problem::None;
    mutable bool m_reachedOthers = false;
    // Whether the socket's folder was found not to be this user's alone, and said so.
    bool m_socketFolderRefused = false;
    QLocalServer* m_server = nullptr;
    // Qt closes a server for good when accepting fails (no descriptors left, say), and removes
    // its socket; a cleaner may remove it too. The folders' watch says when, and listening
    // starts again; it says too when the lock's file went.
    QTimer m_relisten;
    int m_connections = 0;
    std::chrono::milliseconds m_messageDeadline = defaultMessageDeadline;
    // The connection whose message messageReceived is emitted for, and whether a slot took its
    // answer over.
    QPointer<QLocalSocket> m_answering;
    bool m_answerTaken = false;
};

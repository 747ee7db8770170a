#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <optional>

class QLocalServer;
class QLocalSocket;

// One running Murmo per user. The first launch locks a file beside the socket, holds it for
// its whole life, and listens on a local socket that only this user can reach; a later launch
// finds the lock taken, hands its arguments (a "murmo:" callback address, or nothing: "show
// yourself") to the first and exits. The lock, not the socket, decides who is first: however many
// launches race, one wins, and a socket is removed only by the lock's holder. Main thread only.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The most connections read at once; more are dropped unread.
    static constexpr int maxConnections = 8;
    // How long a connection may take to deliver its one message before it is dropped.
    static constexpr std::chrono::milliseconds defaultMessageDeadline{2000};
    // How often the primary checks that it still listens.
    static constexpr std::chrono::milliseconds listenCheckInterval{2000};

    // name: the socket's name or path; by default one in the user's runtime folder.
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString defaultName();

    // Takes the lock and listens when no other instance holds it; false when one does (this
    // process should then sendToPrimary() and quit). A socket left behind by a crashed instance
    // is taken over.
    bool tryBecomePrimary();

    // Delivers args to the instance that holds the lock; false when none took them in time.
    // Blocks for at most a few seconds (the first instance may still be starting to listen): it
    // runs before this process has an event loop.
    bool sendToPrimary(const QStringList& args) const;

    // The message a later launch sends: a big-endian length, then the list serialised. decode
    // takes the part after the length; none when it is not a whole, valid list.
    static QByteArray encodeMessage(const QStringList& args);
    static std::optional<QStringList> decodeMessage(const QByteArray& payload);
    // Arguments are a callback address or two; anything bigger is not from us.
    static constexpr quint32 maxMessageBytes = 64 * 1024;

    // Tests shorten the time a connection has for its message.
    void setMessageDeadline(std::chrono::milliseconds deadline) { m_messageDeadline = deadline; }

Q_SIGNALS:
    void messageReceived(const QStringList& args);

private:
    QString socketPath() const;
    QString lockPath() const;
    bool isInPrivateFolder() const;
    bool listen();
    void accept();
    void readFrom(QLocalSocket* socket);

    QString m_name;
    // The descriptor the lock is held on, or -1.
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
    // Qt closes a server for good when accepting fails (no descriptors left, say); this brings
    // it back.
    QTimer m_listenCheck;
    int m_connections = 0;
    std::chrono::milliseconds m_messageDeadline = defaultMessageDeadline;
};

#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// One running Murmo per user. The first launch listens on a local socket that only this user can
// reach; a later launch hands its arguments (a "murmo:" callback address, or nothing: "show
// yourself") to the first and exits. Main thread only.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // name: the socket's name or path; by default one in the user's runtime folder.
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString defaultName();

    // Listens when no other instance answers; false when one does (this process should then
    // sendToPrimary() and quit). A socket left behind by a crashed instance is taken over.
    bool tryBecomePrimary();

    // Delivers args to the instance that listens; false when none answered in time. Blocks for
    // at most about a second: it runs before this process has an event loop.
    bool sendToPrimary(const QStringList& args) const;

Q_SIGNALS:
    void messageReceived(const QStringList& args);

private:
    void readFrom(QLocalSocket* socket);

    QString m_name;
    QLocalServer* m_server = nullptr;
};

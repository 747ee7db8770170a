#pragma once

#include "platform/ConnectionSockets.h"

#include <QHostAddress>
#include <QObject>

#include <chrono>
#include <limits>
#include <optional>

class QTimer;

// Follows a request's body past the point where Qt is done with it. Qt's upload progress ends
// where the system's buffers begin, and over a slow uplink much of the body still waits there:
// what is left of it is watched on the body's own connection, through the system's view of the
// service's sockets. The connection is told apart from the others to the same service (another
// upload draining, a streaming socket) by what was written to it: of the connections up as the
// body began to go out, the only one that has taken the body since. Where none or several could
// have, or the system cannot tell at all, the watch says so and leaves the wait to its owner.
class UploadWatch : public QObject
{
    Q_OBJECT

public:
    // Qt's HTTP reports a body's bytes as sent once its own socket has them, and keeps a few tens
    // of kilobytes there while the system's buffers are full.
    static constexpr qint64 kHeldByQt = 64 * 1024;

    // sockets may be null: then nothing can be told. lookEvery: how often what is left is looked
    // at while the body drains.
    UploadWatch(ConnectionSockets* sockets, QHostAddress serviceAddress, quint16 servicePort, qint64 bodyBytes,
                std::chrono::milliseconds lookEvery, QObject* parent = nullptr);

    // Qt is about to write the body's first bytes on a connection that is up (again, when it
    // sends the request anew): the connections up now are the ones the body may go on.
    void bodyBegins();
    // Qt has handed the whole body to the system: the watch finds the body's connection and
    // follows it until the service has acknowledged all of it. Nothing while it already does.
    void bodyHandedOver();
    // The answer has begun: what is left of the body no longer matters.
    void stop();
    bool isWatching() const;
    // Looks at what is left of the body now; the watch's own timer calls it every lookEvery.
    void look();

Q_SIGNALS:
    // Some of what was left went up since the last look: the upload is making progress.
    void moved();
    // The service has acknowledged the whole body: the wait for its answer starts now.
    void acknowledged();
    // Which connection carries the body, or what is left on it, cannot be told (any more).
    void cannotTell();

private:
    using Connections = std::optional<QList<ConnectionSockets::Connection>>;

    Connections connectionsNow() const;

    ConnectionSockets* m_sockets;
    QHostAddress m_serviceAddress;
    quint16 m_servicePort;
    qint64 m_bodyBytes;
    QTimer* m_looks;
    // The service's connections as the body began to go out.
    Connections m_atStart;
    std::optional<quint64> m_carrier;
    // What was left on the carrier at the last look.
    qint64 m_lastQueued = std::numeric_limits<qint64>::max();
};

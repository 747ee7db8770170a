#pragma once

#include <QHostAddress>
#include <QList>

#include <optional>

// This process's TCP connections to one service, as the operating system sees them. Qt's HTTP
// keeps its sockets to itself and has no option for Nagle's algorithm, and its upload progress
// ends where the system's buffers begin: the transport reaches the sockets through this port.
// A service is named by its port and, when known as a number, its address (a null address takes
// every connection to that port).
class ConnectionSockets
{
public:
    // One connection as the system counts its bytes.
    struct Connection
    {
        // Tells the connection from the others while it is open.
        quint64 id = 0;
        // What this process has written to it since it opened, and of that what the service has
        // not acknowledged yet.
        qint64 written = 0;
        qint64 unacknowledged = 0;
    };

    virtual ~ConnectionSockets() = default;

    // Turns Nagle's algorithm off on every connection to the service that still has it; returns
    // how many it changed. Harmless for any connection it catches: all of them carry whole
    // messages.
    virtual int sendWithoutDelay(const QHostAddress& address, quint16 port) = 0;

    // Every connection to the service; nothing where the system cannot tell.
    virtual std::optional<QList<Connection>> connections(const QHostAddress& address, quint16 port) = 0;
};

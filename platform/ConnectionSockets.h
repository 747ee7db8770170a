#pragma once

#include <QHostAddress>

#include <optional>

// This process's TCP connections to one service, as the operating system sees them. Qt's HTTP
// keeps its sockets to itself and has no option for Nagle's algorithm, and its upload progress
// ends where the system's buffers begin: the transport reaches the sockets through this port.
// A service is named by its port and, when known as a number, its address (a null address takes
// every connection to that port).
class ConnectionSockets
{
public:
    virtual ~ConnectionSockets() = default;

    // Turns Nagle's algorithm off on every connection to the service that still has it; returns
    // how many it changed. Harmless for any connection it catches: all of them carry whole
    // messages.
    virtual int sendWithoutDelay(const QHostAddress& address, quint16 port) = 0;

    // The bytes written to the service's connections that it has not acknowledged yet, all
    // connections together; nothing where the system cannot tell.
    virtual std::optional<qint64> unacknowledgedBytes(const QHostAddress& address, quint16 port) = 0;
};

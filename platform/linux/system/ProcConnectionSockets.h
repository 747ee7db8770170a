#pragma once

#include "platform/ConnectionSockets.h"

// Finds the connections among this process's descriptors (/proc/self/fd) by the address they
// lead to, and sets or asks the kernel about each.
class ProcConnectionSockets : public ConnectionSockets
{
public:
    int sendWithoutDelay(const QHostAddress& address, quint16 port) override;
    std::optional<QList<Connection>> connections(const QHostAddress& address, quint16 port) override;
};

#pragma once

class QUrl;

// Turns Nagle's algorithm off on this program's TCP connections to a service.
//
// Qt's HTTP hands a request's headers and its body to the socket in separate writes and has no
// option to set TCP_NODELAY. On a kept-alive connection whose segments are large (a service on
// this machine, where they are 64 KB), the body then waits in the kernel until the server has
// acknowledged the headers, and the server delays that acknowledgement by some 40 ms: every
// upload after a connection's first paid it. Qt's sockets are out of reach, so the connections are
// found among the process's descriptors by the address they lead to. Turning the algorithm off
// is harmless for any other connection found there: all of them carry whole messages.
namespace LowDelaySockets {

// Sets TCP_NODELAY on every connected TCP socket of this process whose peer is url's port (and
// address, when url names one by number). Connections made later are caught by the next call.
// Returns how many sockets it set; 0 where the system offers no way to find them.
int applyToConnectionsTo(const QUrl& url);

} // namespace LowDelaySockets

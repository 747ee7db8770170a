#pragma once

#include <QAbstractHttpServer>
#include <QTcpServer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

// Loopback carries segments of up to 64 KB where a path through the internet carries about
// 1.4 KB. Qt's HTTP leaves Nagle's algorithm on (the transport turns it off before a body goes
// out, see HttpTransport.cpp) and hands a request's headers and its body to the socket in
// separate writes, the body in pieces of 16 KB: with 64 KB segments every piece counts as
// a small segment, which the kernel holds back until the server acknowledges the headers, and
// Linux delays that acknowledgement by some 40 ms. Over the internet the body goes out in full
// segments at once and draws prompt acknowledgements. A fake server that should be reached the way
// a remote one is asks its clients for internet-sized segments; false when it could not.
inline bool useInternetSegmentSize(QAbstractHttpServer& server)
{
    // A 1500-byte Ethernet frame less the IP and TCP headers and the TCP timestamps.
    constexpr int internetSegmentBytes = 1448;
    const auto listeners = server.servers();
    bool all = !listeners.isEmpty();
    for (QTcpServer* listener : listeners) {
        all = setsockopt(int(listener->socketDescriptor()), IPPROTO_TCP, TCP_MAXSEG, &internetSegmentBytes,
                         sizeof internetSegmentBytes) == 0 &&
              all;
    }
    return all;
}

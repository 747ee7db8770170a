#include "core/net/LowDelaySockets.h"

#include <QHostAddress>
#include <QUrl>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdlib>
#endif

namespace LowDelaySockets {

#ifdef Q_OS_LINUX

namespace {

bool leadsTo(int fd, quint16 port, const QHostAddress& address)
{
    int type = 0;
    socklen_t length = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
        return false;
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
        return false;
    if (peer.ss_family != AF_INET && peer.ss_family != AF_INET6)
        return false;
    const QHostAddress peerAddress(reinterpret_cast<const sockaddr*>(&peer));
    const quint16 peerPort = peer.ss_family == AF_INET ? ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port)
                                                       : ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port);
    if (peerPort != port)
        return false;
    return address.isNull() || peerAddress.isEqual(address, QHostAddress::TolerantConversion);
}

} // namespace

int applyToConnectionsTo(const QUrl& url)
{
    const int port = url.port(url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80);
    const QHostAddress address(url.host());
    DIR* const folder = opendir("/proc/self/fd");
    if (!folder)
        return 0;
    int set = 0;
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(folder) || !leadsTo(int(fd), quint16(port), address))
            continue;
        int on = 0;
        socklen_t length = sizeof on;
        if (getsockopt(int(fd), IPPROTO_TCP, TCP_NODELAY, &on, &length) == 0 && on)
            continue;
        on = 1;
        if (setsockopt(int(fd), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0)
            ++set;
    }
    closedir(folder);
    return set;
}

#else

int applyToConnectionsTo(const QUrl&)
{
    return 0;
}

#endif

} // namespace LowDelaySockets

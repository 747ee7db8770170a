#include "platform/linux/system/ProcConnectionSockets.h"

#include <dirent.h>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdlib>
#include <functional>

namespace {

bool leadsTo(int fd, const QHostAddress& address, quint16 port)
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
    const quint16 peerPort = peer.ss_family == AF_INET ? ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port)
                                                       : ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port);
    if (peerPort != port)
        return false;
    const QHostAddress peerAddress(reinterpret_cast<const sockaddr*>(&peer));
    return address.isNull() || peerAddress.isEqual(address, QHostAddress::TolerantConversion);
}

// Calls visit with every connected TCP socket of this process that leads to the service; false
// when the descriptors cannot be listed.
bool forEachConnection(const QHostAddress& address, quint16 port, const std::function<void(int)>& visit)
{
    DIR* const folder = opendir("/proc/self/fd");
    if (!folder)
        return false;
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && fd != dirfd(folder) && leadsTo(int(fd), address, port))
            visit(int(fd));
    }
    closedir(folder);
    return true;
}

} // namespace

int ProcConnectionSockets::sendWithoutDelay(const QHostAddress& address, quint16 port)
{
    int set = 0;
    forEachConnection(address, port, [&set](int fd) {
        int on = 0;
        socklen_t length = sizeof on;
        if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &length) == 0 && on)
            return;
        on = 1;
        if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0)
            ++set;
    });
    return set;
}

std::optional<QList<ConnectionSockets::Connection>> ProcConnectionSockets::connections(const QHostAddress& address,
                                                                                       quint16 port)
{
    QList<Connection> found;
    bool told = true;
    const bool listed = forEachConnection(address, port, [&found, &told](int fd) {
        sockaddr_storage local{};
        socklen_t localLength = sizeof local;
        tcp_info info{};
        socklen_t infoLength = sizeof info;
        // Sent but not yet acknowledged, and not yet sent, alike.
        int queued = 0;
        // Kernels before 4.1 answer without the count of acknowledged bytes.
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &infoLength) != 0 ||
            infoLength < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked ||
            ioctl(fd, SIOCOUTQ, &queued) != 0) {
            told = false;
            return;
        }
        const quint16 localPort = local.ss_family == AF_INET
                                      ? ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port)
                                      : ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port);
        // A descriptor number comes back for a later connection, its local port with it only by chance.
        const quint64 id = (quint64(fd) << 16) | localPort;
        found.append(Connection{id, qint64(info.tcpi_bytes_acked) + queued, queued});
    });
    if (!listed || !told)
        return std::nullopt;
    return found;
}

#include "core/net/UploadWatch.h"

#include <QTimer>

#include <algorithm>

namespace {

using Connections = std::optional<QList<ConnectionSockets::Connection>>;

// Of the connections up at the start, the only one that has taken the body since; nothing when
// none or several could have.
std::optional<quint64> carrierOf(qint64 bodyBytes, const Connections& atStart, const Connections& now)
{
    if (!atStart || !now)
        return std::nullopt;
    std::optional<quint64> carrier;
    for (const ConnectionSockets::Connection& connection : *now) {
        const auto before = std::find_if(atStart->cbegin(), atStart->cend(),
                                         [&connection](const auto& seen) { return seen.id == connection.id; });
        if (before == atStart->cend() || connection.written - before->written < bodyBytes - UploadWatch::kHeldByQt)
            continue;
        if (carrier)
            return std::nullopt;
        carrier = connection.id;
    }
    return carrier;
}

// What the service has not acknowledged on the connection; nothing when it is gone or the system
// cannot tell.
std::optional<qint64> unacknowledgedOn(quint64 id, const Connections& now)
{
    if (!now)
        return std::nullopt;
    for (const ConnectionSockets::Connection& connection : *now) {
        if (connection.id == id)
            return connection.unacknowledged;
    }
    return std::nullopt;
}

} // namespace

UploadWatch::UploadWatch(ConnectionSockets* sockets, QHostAddress serviceAddress, quint16 servicePort, qint64 bodyBytes,
                         std::chrono::milliseconds lookEvery, QObject* parent)
    : QObject(parent)
    , m_sockets(sockets)
    , m_serviceAddress(std::move(serviceAddress))
    , m_servicePort(servicePort)
    , m_bodyBytes(bodyBytes)
    , m_looks(new QTimer(this))
{
    m_looks->setInterval(lookEvery);
    connect(m_looks, &QTimer::timeout, this, &UploadWatch::look);
}

UploadWatch::Connections UploadWatch::connectionsNow() const
{
    return m_sockets ? m_sockets->connections(m_serviceAddress, m_servicePort) : std::nullopt;
}

void UploadWatch::bodyBegins()
{
    if (m_sockets)
        m_atStart = connectionsNow();
}

void UploadWatch::bodyHandedOver()
{
    if (m_looks->isActive())
        return;
    m_carrier = carrierOf(m_bodyBytes, m_atStart, connectionsNow());
    m_looks->start();
    look();
}

void UploadWatch::stop()
{
    m_looks->stop();
}

bool UploadWatch::isWatching() const
{
    return m_looks->isActive();
}

void UploadWatch::look()
{
    const std::optional<qint64> queued = m_carrier ? unacknowledgedOn(*m_carrier, connectionsNow()) : std::nullopt;
    if (!queued || *queued == 0) {
        m_looks->stop();
        if (queued)
            Q_EMIT acknowledged();
        else
            Q_EMIT cannotTell();
        return;
    }
    const bool less = *queued < m_lastQueued;
    m_lastQueued = *queued;
    if (less)
        Q_EMIT moved();
}

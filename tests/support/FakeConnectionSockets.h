#pragma once

#include "platform/ConnectionSockets.h"

#include <QList>

#include <algorithm>

// The system's view of a service's connections as a test scripts it: each look takes the next
// view, and the last one stays once the script runs out.
class FakeConnectionSockets : public ConnectionSockets
{
public:
    using View = std::optional<QList<Connection>>;

    explicit FakeConnectionSockets(QList<View> views = {})
        : m_views(std::move(views))
    {}

    int sendWithoutDelay(const QHostAddress&, quint16) override { return 0; }
    View connections(const QHostAddress&, quint16) override
    {
        if (m_views.isEmpty())
            return std::nullopt;
        return m_views.at(std::min(m_looks++, m_views.size() - 1));
    }

    // How many views of the script are still to come.
    qsizetype viewsLeft() const { return std::max<qsizetype>(0, m_views.size() - m_looks); }

private:
    QList<View> m_views;
    qsizetype m_looks = 0;
};

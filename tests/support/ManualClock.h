#pragma once

#include "platform/Clock.h"

#include <map>
#include <optional>
#include <utility>

// A clock that moves only when the test says so. advance() runs every callback that falls due,
// in time order (ties in scheduling order), with now() set to each one's due time; callbacks may
// schedule more, and those run too if they fall inside the advance.
class ManualClock : public Clock
{
public:
    std::chrono::milliseconds now() const override { return m_now; }
    TimerId schedule(std::chrono::milliseconds delay, std::function<void()> callback) override;
    void cancel(TimerId id) override;

    void advance(std::chrono::milliseconds by);
    std::size_t pendingCount() const { return m_pending.size(); }
    // When the next callback falls due, none when nothing is pending.
    std::optional<std::chrono::milliseconds> nextDue() const
    {
        return m_pending.empty() ? std::nullopt : std::optional(m_pending.begin()->first.first);
    }

private:
    std::chrono::milliseconds m_now{0};
    TimerId m_nextId = 1;
    // Keyed by (due time, id) so equal due times keep scheduling order.
    std::map<std::pair<std::chrono::milliseconds, TimerId>, std::function<void()>> m_pending;
};

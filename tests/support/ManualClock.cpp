#include "tests/support/ManualClock.h"

Clock::TimerId ManualClock::schedule(std::chrono::milliseconds delay, std::function<void()> callback)
{
    const TimerId id = m_nextId++;
    m_pending.emplace(std::make_pair(m_now + std::max(delay, std::chrono::milliseconds(0)), id), std::move(callback));
    return id;
}

void ManualClock::cancel(TimerId id)
{
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->first.second == id) {
            m_pending.erase(it);
            return;
        }
    }
}

void ManualClock::advance(std::chrono::milliseconds by)
{
    const auto target = m_now + by;
    while (!m_pending.empty() && m_pending.begin()->first.first <= target) {
        auto next = m_pending.begin();
        m_now = next->first.first;
        auto callback = std::move(next->second);
        m_pending.erase(next);
        callback();
    }
    m_now = target;
}

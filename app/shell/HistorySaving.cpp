#include "app/shell/HistorySaving.h"

#include "app/controller/AppState.h"
#include "core/store/HistoryStore.h"

#include <QPointer>
#include <QTimer>

#include <utility>

HistorySaving::HistorySaving(HistoryStore& history, AppState& state, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_history(history)
    , m_state(state)
    , m_clock(clock)
{
    // Every change to the history is followed by a new version.
    connect(&m_state, &AppState::historyVersionChanged, this, &HistorySaving::check);
}

HistorySaving::~HistorySaving()
{
    if (m_retry)
        m_clock.cancel(m_retry);
}

void HistorySaving::check()
{
    setFailing(!m_history.isSaved());
}

bool HistorySaving::saveNow()
{
    const bool saved = m_history.saveAgain();
    setFailing(!saved);
    return saved;
}

void HistorySaving::retry()
{
    m_retry = 0;
    saveNow();
    // Said again while it lasts: a dictation's own report may have taken the line meanwhile.
    if (m_failing)
        m_state.reportInBackground(kCannotSaveLine);
}

void HistorySaving::setFailing(bool failing)
{
    if (failing && !m_retry) {
        m_retry = m_clock.schedule(retryInterval, [self = QPointer<HistorySaving>(this)] {
            if (self)
                self->retry();
        });
    }
    if (failing == m_failing)
        return;
    m_failing = failing;
    if (!failing && m_retry)
        m_clock.cancel(std::exchange(m_retry, 0));
    // After whatever the change's own flow reports on the line, so that this stays in view.
    QTimer::singleShot(0, this, [this, failing] {
        if (m_failing == failing)
            m_state.reportInBackground(failing ? kCannotSaveLine : kSavedAgainLine);
    });
    Q_EMIT failingChanged(failing);
}

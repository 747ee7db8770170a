#include "app/shell/HistorySaving.h"

#include "app/controller/AppState.h"
#include "core/store/HistoryStore.h"

#include <QCoroFuture>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

HistorySaving::HistorySaving(HistoryStore& history, AppState& state, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_history(history)
    , m_state(state)
    , m_clock(clock)
{
    // Delivered here, on the main thread, from the store's worker.
    connect(&m_history, &HistoryStore::saveFinished, this, &HistorySaving::check);
}

HistorySaving::~HistorySaving()
{
    if (m_retry)
        m_clock.cancel(m_retry);
}

void HistorySaving::check()
{
    // The store's latest word, whichever write this reports.
    const bool failing = !m_history.isSaved();
    // Said again while it lasts: a dictation's own report may have taken the line meanwhile.
    if (failing && m_failing)
        m_state.reportInBackground(kCannotSaveLine);
    setFailing(failing);
}

bool HistorySaving::saveNow()
{
    m_history.saveAgain();
    const bool saved = m_history.flush();
    setFailing(!saved);
    return saved;
}

QCoro::Task<bool> HistorySaving::saveInBackground()
{
    m_history.saveAgain();
    QPointer<HistorySaving> self(this);
    HistoryStore* history = &m_history;
    QFuture<bool> flushed = QtConcurrent::run([history] { return history->flush(); });
    const bool saved = co_await flushed;
    if (self)
        self->setFailing(!saved);
    co_return saved;
}

void HistorySaving::retry()
{
    m_retry = 0;
    m_history.saveAgain();
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

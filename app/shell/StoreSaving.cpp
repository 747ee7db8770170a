#include "app/shell/StoreSaving.h"

#include "app/controller/AppState.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"

#include <QCoroFuture>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

StoreSaving::StoreSaving(HistoryStore& history, AppState& state, Clock& clock, QObject* parent)
    : StoreSaving(Store{[&history] { return !history.isSaved(); }, [&history] { history.saveAgain(); },
                        [&history] {
                            history.saveAgain();
                            return history.flush();
                        }},
                  kHistory, state, clock, parent)
{
    // Delivered here, on the main thread, from the store's worker.
    connect(&history, &HistoryStore::saveFinished, this, &StoreSaving::check);
}

StoreSaving::StoreSaving(Lexicon& lexicon, AppState& state, Clock& clock, QObject* parent)
    // A write queued behind a failed one is no reason to wait: the lexicon is failing until a
    // write goes through.
    : StoreSaving(Store{[&lexicon] { return lexicon.lastWriteFailed(); }, [&lexicon] { lexicon.saveAgain(); },
                        [&lexicon] { return lexicon.flush(); }},
                  kLexicon, state, clock, parent)
{
    connect(&lexicon, &Lexicon::saveFinished, this, &StoreSaving::check);
}

StoreSaving::StoreSaving(Store store, const Texts& texts, AppState& state, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_texts(texts)
    , m_state(state)
    , m_clock(clock)
{}

StoreSaving::~StoreSaving()
{
    if (m_retry)
        m_clock.cancel(m_retry);
}

void StoreSaving::check()
{
    // The store's latest word, whichever write this reports.
    const bool failing = m_store.lacksSomething();
    // Said once more after a retry when a dictation's own report has taken the line meanwhile;
    // not at every failed write, which a burst of changes on a full disk brings many of.
    if (failing && m_failing && std::exchange(m_retried, false) && m_state.statusLine() != m_texts.cannotSave)
        m_state.reportInBackground(m_texts.cannotSave);
    setFailing(failing);
}

bool StoreSaving::saveNow()
{
    const bool saved = m_store.flush();
    setFailing(!saved);
    return saved;
}

QCoro::Task<bool> StoreSaving::saveInBackground()
{
    QPointer<StoreSaving> self(this);
    QFuture<bool> flushed = QtConcurrent::run(m_store.flush);
    const bool saved = co_await flushed;
    if (self)
        self->setFailing(!saved);
    co_return saved;
}

void StoreSaving::retry()
{
    m_retry = 0;
    m_retried = true;
    m_nextRetry = std::min(m_nextRetry * 2, longestRetry);
    m_store.saveAgain();
}

void StoreSaving::scheduleRetry()
{
    if (m_retry)
        return;
    m_retry = m_clock.schedule(m_nextRetry, [self = QPointer<StoreSaving>(this)] {
        if (self)
            self->retry();
    });
}

void StoreSaving::setFailing(bool failing)
{
    if (failing)
        scheduleRetry();
    if (failing == m_failing)
        return;
    m_failing = failing;
    if (!failing) {
        if (m_retry)
            m_clock.cancel(std::exchange(m_retry, 0));
        m_nextRetry = firstRetry;
        m_retried = false;
    }
    // After whatever the change's own flow reports on the line, so that this stays in view. The
    // failure is a notice, as a settings file that cannot be written is: told at once, even over a
    // line owed to the user; the relief replaces only the failure's own line.
    QTimer::singleShot(0, this, [this, failing] {
        if (m_failing != failing)
            return;
        if (failing)
            m_state.showNotice(m_texts.cannotSave);
        else if (m_state.statusLine() == m_texts.cannotSave)
            m_state.setStatusLine(m_texts.savedAgain);
        else
            m_state.reportInBackground(m_texts.savedAgain);
    });
    Q_EMIT failingChanged(failing);
}

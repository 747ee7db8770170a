#pragma once

#include "platform/Clock.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class AppState;
class HistoryStore;
class Lexicon;

// Keeps what a store holds (the history, the lexicon) from being lost quietly when its file cannot
// be written (a full disk): each time the store's worker has written the file, or failed to, it
// asks whether the file holds everything. The first failure is told at once in the status line, as
// a notice, and once more only at a retry that finds the line taken by something else; while it
// lasts the write is tried again (a later change of the store tries it too) after a wait that
// grows, and once more at quit. No timer runs while the file holds everything. Main thread only.
class StoreSaving : public QObject
{
    Q_OBJECT

public:
    // The retries' waits: the first, doubled after each that fails, up to the longest.
    static constexpr std::chrono::seconds firstRetry{5};
    static constexpr std::chrono::seconds longestRetry{60};

    // What the user is told of one store.
    struct Texts
    {
        // The status line once its file lacks something, and once it holds everything again.
        QString cannotSave;
        QString savedAgain;
        // The store, and what a quit would lose of it, in the question a quit asks.
        QString name;
        QString unsaved;
    };
    static inline const Texts kHistory{QStringLiteral("历史记录无法保存（磁盘可能已满），稍后自动重试"),
                                       QStringLiteral("历史记录已保存"), QStringLiteral("历史记录"),
                                       QStringLiteral("历史记录")};
    static inline const Texts kLexicon{QStringLiteral("词库无法保存（磁盘可能已满），稍后自动重试"),
                                       QStringLiteral("词库已保存"), QStringLiteral("词库"),
                                       QStringLiteral("词库的改动")};

    StoreSaving(HistoryStore& history, AppState& state, Clock& clock, QObject* parent = nullptr);
    StoreSaving(Lexicon& lexicon, AppState& state, Clock& clock, QObject* parent = nullptr);
    ~StoreSaving() override;

    const Texts& texts() const { return m_texts; }
    // Whether the file lacks something the store holds.
    bool isFailing() const { return m_failing; }

    // One last try, as the program ends: waits for every save still to come, and for a change on
    // its way in; true when everything is on disk.
    bool saveNow();
    // The same try with the waiting done on a worker, for a quit the user may still call off:
    // the GUI thread goes on meanwhile.
    QCoro::Task<bool> saveInBackground();

Q_SIGNALS:
    void failingChanged(bool failing);

private:
    // How this class reaches its store; every call may come from any thread.
    struct Store
    {
        // Whether a write failed and what it lacked is still unwritten.
        std::function<bool()> lacksSomething;
        std::function<void()> saveAgain;
        // Waits for the store's writes; true when the file holds everything.
        std::function<bool()> flush;
    };
    StoreSaving(Store store, const Texts& texts, AppState& state, Clock& clock, QObject* parent);

    void check();
    void retry();
    void scheduleRetry();
    void setFailing(bool failing);

    const Store m_store;
    const Texts m_texts;
    AppState& m_state;
    Clock& m_clock;
    Clock::TimerId m_retry = 0;
    std::chrono::seconds m_nextRetry = firstRetry;
    // A retry's write is on its way: its failure may say the line again.
    bool m_retried = false;
    bool m_failing = false;
};

#pragma once

#include "platform/Clock.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <chrono>

class AppState;
class HistoryStore;

// Keeps the history from being lost quietly when its file cannot be written (a full disk): each
// time the store's worker has written the file, or failed to, it asks whether the file holds
// everything; while it does not, the status line says so and the save is tried again every little
// while, and once more at quit. Main thread only.
class HistorySaving : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds retryInterval{15};
    static inline const QString kCannotSaveLine = QStringLiteral("历史记录无法保存（磁盘可能已满），稍后自动重试");
    static inline const QString kSavedAgainLine = QStringLiteral("历史记录已保存");

    HistorySaving(HistoryStore& history, AppState& state, Clock& clock, QObject* parent = nullptr);
    ~HistorySaving() override;

    // Whether the file lacks something the history holds.
    bool isFailing() const { return m_failing; }

    // One last try, as the program ends: waits for every save still to come; true when
    // everything is on disk.
    bool saveNow();
    // The same try with the waiting done on a worker, for a quit the user may still call off:
    // the GUI thread goes on meanwhile.
    QCoro::Task<bool> saveInBackground();

Q_SIGNALS:
    void failingChanged(bool failing);

private:
    void check();
    void retry();
    void setFailing(bool failing);

    HistoryStore& m_history;
    AppState& m_state;
    Clock& m_clock;
    Clock::TimerId m_retry = 0;
    bool m_failing = false;
};

#pragma once

#include "platform/Accessibility.h"
#include "platform/Clock.h"

#include <QObject>
#include <QString>

#include <chrono>

// After text has been inserted into another application's field, watches that field for a while
// and, when the watch ends, reports (text as inserted, text as the user left it), so that the
// controller can learn correction rules from the user's own fixes. Runs on the main thread; the
// field is read through the accessibility port, which answers asynchronously.
class InputLearningMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype minimumInsertedLength = 2;
    static constexpr std::chrono::milliseconds armingDelay{450};

    InputLearningMonitor(Accessibility& accessibility, Clock& clock, QObject* parent = nullptr);
    ~InputLearningMonitor() override;

    // Starts a watch for the text just inserted into the focused field.
    void arm(const QString& insertedText);
    // Ends any watch (and any arming still pending) without a report.
    void stop();

    bool isEnabled() const { return m_enabled; }
    // Arming is ignored while disabled; a watch already running goes on.
    void setEnabled(bool enabled) { m_enabled = enabled; }

    std::chrono::milliseconds interval() const { return m_interval; }
    void setInterval(std::chrono::milliseconds interval) { m_interval = interval; }
    std::chrono::milliseconds window() const { return m_window; }
    void setWindow(std::chrono::milliseconds window) { m_window = window; }

    bool isWatching() const { return m_element != nullptr; }

Q_SIGNALS:
    // The user corrected freshly inserted text: what was inserted and what the field holds now.
    void learned(const QString& inserted, const QString& edited);

private:
    void begin(const QString& trimmed, quint64 generation);
    void schedulePoll();
    void poll();
    void finalize();

    Accessibility& m_accessibility;
    Clock& m_clock;
    bool m_enabled = true;
    AccessibleElementPtr m_element;
    QString m_insertedText;
    QString m_baseline;
    QString m_lastValue;
    std::chrono::milliseconds m_deadline{std::chrono::milliseconds::min()};
    Clock::TimerId m_pollTimer = 0;
    std::chrono::milliseconds m_interval{500};
    std::chrono::milliseconds m_window{25000};
    // Pending arms, ticks and reads belong to the watch that was current when they were started;
    // anything that comes back for an older generation is dropped.
    quint64 m_generation = 0;
};

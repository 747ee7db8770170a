#include "app/desktop/InputLearningMonitor.h"

#include "core/async/ContinueOn.h"
#include "core/text/Graphemes.h"

#include <QFuture>
#include <QPointer>

InputLearningMonitor::InputLearningMonitor(Accessibility& accessibility, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_accessibility(accessibility)
    , m_clock(clock)
{}

InputLearningMonitor::~InputLearningMonitor()
{
    stop();
}

void InputLearningMonitor::arm(const QString& insertedText)
{
    if (!m_enabled)
        return;
    const QString trimmed = insertedText.trimmed();
    if (Graphemes::count(trimmed) < minimumInsertedLength)
        return;
    stop();
    const quint64 generation = m_generation;
    QPointer<InputLearningMonitor> self(this);
    // The target application needs a moment to take in the paste before its field shows it.
    m_clock.schedule(armingDelay, [self, trimmed, generation] {
        if (self && self->m_generation == generation)
            self->begin(trimmed, generation);
    });
}

void InputLearningMonitor::begin(const QString& trimmed, quint64 generation)
{
    if (!m_enabled)
        return;
    continueOn(m_accessibility.focusedElement(), this, [this, trimmed, generation](AccessibleElementPtr element) {
        // Password fields are never watched.
        if (generation != m_generation || !m_enabled || !element || element->isSecret())
            return;
        continueOn(m_accessibility.value(element), this,
                   [this, trimmed, generation, element](std::optional<QString> value) {
                       if (generation != m_generation || !m_enabled || !value || !value->contains(trimmed))
                           return;
                       m_element = element;
                       m_insertedText = trimmed;
                       m_baseline = *value;
                       m_lastValue = *value;
                       m_deadline = m_clock.now() + m_window;
                       schedulePoll();
                   });
    });
}

void InputLearningMonitor::schedulePoll()
{
    const quint64 generation = m_generation;
    QPointer<InputLearningMonitor> self(this);
    m_pollTimer = m_clock.schedule(m_interval, [self, generation] {
        if (!self || self->m_generation != generation)
            return;
        self->m_pollTimer = 0;
        self->poll();
    });
}

void InputLearningMonitor::poll()
{
    if (!m_element) {
        stop();
        return;
    }
    if (m_clock.now() > m_deadline) {
        finalize();
        return;
    }
    const quint64 generation = m_generation;
    continueOn(m_accessibility.value(m_element), this, [this, generation](std::optional<QString> value) {
        if (generation != m_generation)
            return;
        // The field went away, was emptied (the message was sent) or shrank to less than half:
        // the watch ends with the last value that kept it going.
        if (!value) {
            finalize();
            return;
        }
        const QString trimmed = value->trimmed();
        if (trimmed.isEmpty() || Graphemes::count(m_baseline) > 2 * Graphemes::count(trimmed)) {
            finalize();
            return;
        }
        m_lastValue = *value;
        schedulePoll();
    });
}

void InputLearningMonitor::finalize()
{
    const QString last = m_lastValue.trimmed();
    const QString baseline = m_baseline.trimmed();
    const QString inserted = m_insertedText;
    stop();
    // Only a field that held nothing but the inserted text tells what the user corrected.
    if (baseline != inserted || last.isEmpty() || last == inserted)
        return;
    Q_EMIT learned(inserted, last);
}

void InputLearningMonitor::stop()
{
    ++m_generation;
    if (m_pollTimer != 0) {
        m_clock.cancel(m_pollTimer);
        m_pollTimer = 0;
    }
    m_element.reset();
    m_insertedText.clear();
    m_baseline.clear();
    m_lastValue.clear();
}

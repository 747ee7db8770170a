#pragma once

#include <QObject>
#include <QString>

#include <optional>

// What the answer card shows: the spoken question and the language model's answer, or the
// failure. Written by the dictation controller through the popup, read by the card.
class AnswerModel : public QObject
{
    Q_OBJECT

public:
    enum class Phase
    {
        thinking,
        answer,
        failed
    };

    using QObject::QObject;

    Phase phase() const { return m_phase; }
    QString question() const { return m_question; }
    // In the failed phase: the failure message.
    QString answer() const { return m_answer; }
    // The application that receives an inserted answer, by its lower-cased window class (the
    // name keeps the design's "bundle id").
    std::optional<QString> targetBundleId() const { return m_targetBundleId; }

    void setPhase(Phase phase);
    void setQuestion(const QString& question);
    void setAnswer(const QString& answer);
    void setTargetBundleId(const std::optional<QString>& bundleId) { m_targetBundleId = bundleId; }

    // Asks the card to redraw, e.g. after the skin changed.
    void notifyChanged() { Q_EMIT changed(); }

Q_SIGNALS:
    void changed();

private:
    Phase m_phase = Phase::thinking;
    QString m_question;
    QString m_answer;
    std::optional<QString> m_targetBundleId;
};

#pragma once

#include <QObject>
#include <QString>

#include <optional>

// What the recording overlay shows. Only the overlay writes it; the overlay view repaints on each
// published change and the live waveform reads phase and levelSample at every frame. Main thread.
class OverlayModel : public QObject
{
    Q_OBJECT

public:
    enum class Phase
    {
        listening = 0,
        listeningTranslate = 1,
        listeningAsk = 2,
        listeningRewrite = 3,
        processing = 4,
        done = 5,
        failed = 6,
        cancelled = 7,
        note = 8,
    };
    Q_ENUM(Phase)

    enum class FailKind
    {
        asr = 0,     // recognition failed, nothing was inserted
        styling = 1, // the raw transcript went in, the tidying failed
    };
    Q_ENUM(FailKind)

    static inline const QString kTidying = QStringLiteral("整理中");

    explicit OverlayModel(QObject* parent = nullptr);

    static bool isListening(Phase phase);

    Phase phase() const { return m_phase; }
    QString partial() const { return m_partial; }
    // What the processing capsule says beside its spinner.
    QString processingText() const { return m_processingText; }
    bool inserted() const { return m_inserted; }
    QString noteSubtitle() const { return m_noteSubtitle; }
    std::optional<QString> copyHint() const { return m_copyHint; }
    FailKind failKind() const { return m_failKind; }
    bool retrying() const { return m_retrying; }
    // Whether the failure on show comes with a retry of its own. A plain failure has none, so
    // the capsule must not offer one.
    bool retryOffered() const { return m_retryOffered; }

    void setPhase(Phase phase);
    void setPartial(const QString& partial);
    void setProcessingText(const QString& text);
    void setInserted(bool inserted);
    void setNoteSubtitle(const QString& subtitle);
    void setCopyHint(const std::optional<QString>& hint);
    void setFailKind(FailKind kind);
    void setRetrying(bool retrying);
    void setRetryOffered(bool offered);

    // Written at audio rate; deliberately not published so level updates never cause a repaint
    // (the waveform samples it on its own frame clock).
    float levelSample = 0.0f;

    // Tells observers to redraw although no field changed (a new skin or appearance).
    void notifyChanged() { Q_EMIT changed(); }

Q_SIGNALS:
    // Emitted after every published change, after the field's own signal.
    void changed();
    void phaseChanged(OverlayModel::Phase phase);
    void partialChanged(const QString& partial);
    void processingTextChanged(const QString& text);
    void insertedChanged(bool inserted);
    void noteSubtitleChanged(const QString& subtitle);
    void copyHintChanged();
    void failKindChanged(OverlayModel::FailKind kind);
    void retryingChanged(bool retrying);
    void retryOfferedChanged(bool offered);

private:
    Phase m_phase = Phase::listening;
    QString m_partial;
    QString m_processingText = kTidying;
    bool m_inserted = true;
    QString m_noteSubtitle;
    std::optional<QString> m_copyHint;
    FailKind m_failKind = FailKind::asr;
    bool m_retrying = false;
    bool m_retryOffered = false;
};

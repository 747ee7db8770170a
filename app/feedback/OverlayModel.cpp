#include "app/feedback/OverlayModel.h"

OverlayModel::OverlayModel(QObject* parent)
    : QObject(parent)
{}

bool OverlayModel::isListening(Phase phase)
{
    return phase == Phase::listening || phase == Phase::listeningTranslate || phase == Phase::listeningAsk ||
           phase == Phase::listeningRewrite;
}

// A write of the value already held publishes nothing: the view would redraw the same picture.

void OverlayModel::setPhase(Phase phase)
{
    if (phase == m_phase)
        return;
    m_phase = phase;
    Q_EMIT phaseChanged(phase);
    Q_EMIT changed();
}

void OverlayModel::setPartial(const QString& partial)
{
    if (partial == m_partial)
        return;
    m_partial = partial;
    Q_EMIT partialChanged(partial);
    Q_EMIT changed();
}

void OverlayModel::setProcessingText(const QString& text)
{
    if (text == m_processingText)
        return;
    m_processingText = text;
    Q_EMIT processingTextChanged(text);
    Q_EMIT changed();
}

void OverlayModel::setInserted(bool inserted)
{
    if (inserted == m_inserted)
        return;
    m_inserted = inserted;
    Q_EMIT insertedChanged(inserted);
    Q_EMIT changed();
}

void OverlayModel::setNoteSubtitle(const QString& subtitle)
{
    if (subtitle == m_noteSubtitle)
        return;
    m_noteSubtitle = subtitle;
    Q_EMIT noteSubtitleChanged(subtitle);
    Q_EMIT changed();
}

void OverlayModel::setCopyHint(const std::optional<QString>& hint)
{
    if (hint == m_copyHint)
        return;
    m_copyHint = hint;
    Q_EMIT copyHintChanged();
    Q_EMIT changed();
}

void OverlayModel::setFailKind(FailKind kind)
{
    if (kind == m_failKind)
        return;
    m_failKind = kind;
    Q_EMIT failKindChanged(kind);
    Q_EMIT changed();
}

void OverlayModel::setRetrying(bool retrying)
{
    if (retrying == m_retrying)
        return;
    m_retrying = retrying;
    Q_EMIT retryingChanged(retrying);
    Q_EMIT changed();
}

void OverlayModel::setRetryOffered(bool offered)
{
    if (offered == m_retryOffered)
        return;
    m_retryOffered = offered;
    Q_EMIT retryOfferedChanged(offered);
    Q_EMIT changed();
}

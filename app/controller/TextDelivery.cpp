#include "app/controller/TextDelivery.h"

#include "app/controller/AppState.h"
#include "app/desktop/TextInserter.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/async/ResultSlot.h"
#include "platform/Clipboard.h"
#include "platform/Workspace.h"

#include <QPointer>

#include <utility>

TextDelivery::TextDelivery(AppState& state, RecordingOverlay& overlay, TextInserter& inserter, Clipboard& clipboard,
                           Workspace& workspace)
    : m_state(state)
    , m_overlay(overlay)
    , m_inserter(inserter)
    , m_clipboard(clipboard)
    , m_workspace(workspace)
{
    // Queued: the stop that ends a recording sets its own status line first.
    QObject::connect(
        &m_state, &AppState::isRecordingChanged, &m_context,
        [this](bool recording) {
            if (!recording)
                tellLeftBehind();
        },
        Qt::QueuedConnection);
    QObject::connect(&m_inserter, &TextInserter::clipboardNotKept, &m_context, [this] { m_clipboardNotKept = true; });
}

bool TextDelivery::isOwnWindow(const std::optional<QString>& target) const
{
    return target && m_workspace.isOwn(*target);
}

QCoro::Task<bool> TextDelivery::type(QString text, std::optional<QString> target, quint64 generation)
{
    if (m_stopped || isOwnWindow(target))
        co_return false;
    m_clipboardNotKept = false;
    const auto outcome = ResultSlot<bool>::create();
    // What the flow said last (styling, rewriting) is long over while the text waits: the status
    // line and the capsule say the same, from here alone.
    auto heldBack = [state = QPointer<AppState>(&m_state), overlay = QPointer<RecordingOverlay>(&m_overlay),
                     generation] {
        if (!state || !state->isCurrent(generation))
            return;
        state->setStatusLine(kWaitingForKeys);
        if (overlay && overlay->isShowing() && overlay->model()->phase() == OverlayModel::Phase::processing)
            overlay->showProcessing(kWaitingForKeys);
    };
    m_inserter.insert(
        text, target, [outcome](bool delivered) { outcome->setValue(delivered); }, heldBack);
    co_return co_await outcome->wait();
}

void TextDelivery::finish(const QString& text, const std::optional<QString>& target, bool typed, const Lines& lines)
{
    if (!typed && m_stopped)
        return;
    const bool earlierOnClipboard = std::exchange(m_leftBehind, std::nullopt).has_value();
    if (typed) {
        // This text was pasted and the clipboard given back: the earlier text is still there.
        m_state.setStatusLine(lines.typed + (earlierOnClipboard ? kEarlierCopiedNote : QString()) +
                              (std::exchange(m_clipboardNotKept, false) ? kClipboardNotKeptNote : QString()));
    } else {
        m_clipboard.setText(text);
        if (isOwnWindow(target))
            m_state.setStatusLine(lines.copiedFromOwnWindow.value_or(lines.copied));
        else if (!m_inserter.canType())
            m_state.setStatusLine(lines.copiedWithoutTyping.value_or(lines.copied));
        else
            m_state.setStatusLine(lines.copied);
    }
    m_overlay.finish(text, typed, lines.capsuleCopyHint);
}

void TextDelivery::finishStale(const QString& text, const std::optional<QString>& target, bool typed)
{
    // Text for our own window never went to the clipboard; the history has it.
    if (typed || isOwnWindow(target) || m_stopped)
        return;
    m_leftBehind = LeftBehind{text};
    tellLeftBehind();
}

int TextDelivery::stop()
{
    m_stopped = true;
    const int kept = m_inserter.stop();
    if (kept > 0) {
        m_state.setStatusLine(kKeptInHistory);
        m_overlay.hide();
    }
    return kept;
}

void TextDelivery::tellLeftBehind()
{
    if (!m_leftBehind || m_leftBehind->told || m_state.isRecording())
        return;
    m_leftBehind->told = true;
    m_state.setStatusLine(kEarlierCopied);
    // The capsule of a dictation still being recognised keeps its place; the status line and
    // that dictation's own outcome say it.
    const OverlayModel::Phase phase = m_overlay.model()->phase();
    if (!m_overlay.isShowing() || !(OverlayModel::isListening(phase) || phase == OverlayModel::Phase::processing))
        m_overlay.finish(m_leftBehind->text, false, std::nullopt);
}

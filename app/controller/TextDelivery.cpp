#include "app/controller/TextDelivery.h"

#include "app/controller/AppState.h"
#include "app/desktop/TextInserter.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/async/ResultSlot.h"
#include "platform/Clipboard.h"
#include "platform/Workspace.h"

TextDelivery::TextDelivery(AppState& state, RecordingOverlay& overlay, TextInserter& inserter, Clipboard& clipboard,
                           Workspace& workspace)
    : m_state(state)
    , m_overlay(overlay)
    , m_inserter(inserter)
    , m_clipboard(clipboard)
    , m_workspace(workspace)
{}

bool TextDelivery::isOwnWindow(const std::optional<QString>& target) const
{
    return target && m_workspace.isOwn(*target);
}

QCoro::Task<bool> TextDelivery::type(QString text, std::optional<QString> target)
{
    if (isOwnWindow(target))
        co_return false;
    const auto outcome = ResultSlot<bool>::create();
    m_inserter.insert(text, target, [outcome](bool delivered) { outcome->setValue(delivered); });
    co_return co_await outcome->wait();
}

void TextDelivery::finish(const QString& text, const std::optional<QString>& target, bool typed, const Lines& lines)
{
    if (typed) {
        m_state.setStatusLine(lines.typed);
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

#include "app/controller/TextDelivery.h"

#include "app/controller/AppState.h"
#include "app/desktop/TextInserter.h"
#include "app/feedback/RecordingOverlay.h"
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

bool TextDelivery::type(const QString& text, const std::optional<QString>& target)
{
    return !isOwnWindow(target) && m_inserter.insert(text, target);
}

void TextDelivery::finish(const QString& text, const std::optional<QString>& target, bool typed, const Lines& lines)
{
    if (typed) {
        m_state.setStatusLine(lines.typed);
    } else {
        m_clipboard.setText(text);
        m_state.setStatusLine(isOwnWindow(target) ? lines.copiedFromOwnWindow.value_or(lines.copied) : lines.copied);
    }
    m_overlay.finish(text, typed, lines.capsuleCopyHint);
}

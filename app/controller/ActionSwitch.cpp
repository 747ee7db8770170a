#include "app/controller/ActionSwitch.h"

namespace ActionSwitch {

using Action = AppState::RecordAction;

bool needsSelection(Action current, SwitchAction key)
{
    return key == SwitchAction::rewrite && current != Action::Rewrite;
}

std::optional<State> apply(Action current, SwitchAction key, const std::optional<QString>& selection)
{
    State next;
    switch (key) {
    case SwitchAction::dictate:
        break;
    case SwitchAction::ask:
        if (current != Action::Ask) {
            next.action = Action::Ask;
            next.pending.ask = true;
        }
        break;
    case SwitchAction::translate:
        if (current != Action::Translate) {
            next.action = Action::Translate;
            next.pending.translate = true;
        }
        break;
    case SwitchAction::rewrite:
        if (current != Action::Rewrite) {
            if (!selection)
                return std::nullopt;
            next.action = Action::Rewrite;
            next.pending.rewrite = true;
            next.pending.rewriteSelection = selection;
        }
        break;
    }
    return next;
}

QString listeningStatus(const PendingActions& pending)
{
    if (pending.ask)
        return QStringLiteral("正在聆听…（提问）");
    if (pending.rewrite)
        return QStringLiteral("正在聆听…（改写）");
    if (pending.translate)
        return QStringLiteral("正在聆听…（译成英文）");
    return QStringLiteral("正在聆听…");
}

} // namespace ActionSwitch

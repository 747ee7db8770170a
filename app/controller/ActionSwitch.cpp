#include "app/controller/ActionSwitch.h"

namespace ActionSwitch {

bool needsSelection(Action current, SwitchAction key)
{
    return key == SwitchAction::rewrite && current != Action::Rewrite;
}

std::optional<RecordingPurpose> apply(Action current, SwitchAction key, const std::optional<QString>& selection)
{
    switch (key) {
    case SwitchAction::dictate:
        break;
    case SwitchAction::ask:
        if (current != Action::Ask)
            return RecordingPurpose::ask();
        break;
    case SwitchAction::translate:
        if (current != Action::Translate)
            return RecordingPurpose::translate();
        break;
    case SwitchAction::rewrite:
        if (current != Action::Rewrite) {
            if (!selection)
                return std::nullopt;
            return RecordingPurpose::rewrite(*selection);
        }
        break;
    }
    return RecordingPurpose::dictate();
}

} // namespace ActionSwitch

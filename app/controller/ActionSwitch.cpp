#include "app/controller/ActionSwitch.h"

namespace ActionSwitch {

bool needsSelection(Action current, Action key)
{
    return key == Action::Rewrite && current != Action::Rewrite;
}

std::optional<RecordingPurpose> apply(Action current, Action key, const std::optional<QString>& selection)
{
    if (key == current)
        return RecordingPurpose::dictate();
    switch (key) {
    case Action::Dictate:
        return RecordingPurpose::dictate();
    case Action::Ask:
        return RecordingPurpose::ask();
    case Action::Translate:
        return RecordingPurpose::translate();
    case Action::Rewrite:
        if (!selection)
            return std::nullopt;
        return RecordingPurpose::rewrite(*selection);
    }
    return std::nullopt;
}

} // namespace ActionSwitch

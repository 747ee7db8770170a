#pragma once

#include "app/controller/RecordingPurpose.h"
#include "app/desktop/DictationKeys.h"

#include <QString>

#include <optional>

// What a chord key does to the running recording's purpose: pressing the key of the action in
// force turns it off again, pressing another one replaces it, and rewrite needs the selected text
// it is going to rewrite.
namespace ActionSwitch {

using SwitchAction = DictationKeys::SwitchAction;
using Action = RecordingPurpose::Action;

// Whether the key needs the front application's selection read first: only rewrite turned on.
bool needsSelection(Action current, SwitchAction key);

// The purpose after the key. selection is what needsSelection asked to be read; none when it
// asked and nothing was selected, and then the result is none too: the recording keeps its
// purpose.
std::optional<RecordingPurpose> apply(Action current, SwitchAction key, const std::optional<QString>& selection);

} // namespace ActionSwitch

#pragma once

#include "app/controller/RecordingPurpose.h"

#include <QString>

#include <optional>

// What a chord key does to the running recording's purpose: the key names an action; pressing the
// key of the action in force turns it off again, pressing another one replaces it, and rewrite
// needs the selected text it is going to rewrite.
namespace ActionSwitch {

using Action = RecordingPurpose::Action;

// Whether the key needs the front application's selection read first: only rewrite turned on.
bool needsSelection(Action current, Action key);

// The purpose after the key. selection is what needsSelection asked to be read; none when it
// asked and nothing was selected, and then the result is none too: the recording keeps its
// purpose.
std::optional<RecordingPurpose> apply(Action current, Action key, const std::optional<QString>& selection);

} // namespace ActionSwitch

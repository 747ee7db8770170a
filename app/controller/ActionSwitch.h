#pragma once

#include "app/controller/AppState.h"
#include "app/controller/RecordingCommands.h"
#include "app/desktop/DictationKeys.h"

#include <QString>

#include <optional>

// What a chord key does to the running recording's purpose: pressing the key of the action in
// force turns it off again, pressing another one replaces it, and rewrite needs the selected text
// it is going to rewrite.
namespace ActionSwitch {

using SwitchAction = DictationKeys::SwitchAction;

struct State
{
    AppState::RecordAction action = AppState::RecordAction::Dictate;
    PendingActions pending;

    bool operator==(const State&) const = default;
};

// Whether the key needs the front application's selection read first: only rewrite turned on.
bool needsSelection(AppState::RecordAction current, SwitchAction key);

// The state after the key. selection is what needsSelection asked to be read; none when it asked
// and nothing was selected, and then the result is none too: the recording keeps its purpose.
std::optional<State> apply(AppState::RecordAction current, SwitchAction key, const std::optional<QString>& selection);

// The status line while listening for these actions.
QString listeningStatus(const PendingActions& pending);

} // namespace ActionSwitch

#include "app/controller/RecordingActions.h"

#include "app/controller/ActionSwitch.h"
#include "app/controller/AppState.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/RecordingCommands.h"
#include "app/controller/Settings.h"
#include "app/desktop/SelectedText.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/text/StyleMode.h"
#include "platform/Clock.h"

#include <QPointer>

RecordingActions::RecordingActions(AppState& state, RecordingCommands& commands, RecordingOverlay& overlay,
                                   Accessibility& accessibility, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_commands(commands)
    , m_overlay(overlay)
    , m_accessibility(accessibility)
    , m_clock(clock)
{}

void RecordingActions::toggleRecord(bool translate)
{
    if (m_state.isRecording()) {
        m_commands.stopAndTranscribe();
        return;
    }
    PendingActions pending;
    pending.translate = translate;
    m_commands.setPendingActions(pending);
    m_commands.startRecording();
}

void RecordingActions::cycleMode()
{
    Settings& settings = m_state.settings();
    const QList<StyleMode>& modes = StyleMode::builtins();
    // An unknown mode stays as it is; the dictation runs in the formal one meanwhile.
    if (const StyleMode* current = StyleMode::byId(settings.text(SettingKey::currentModeId)))
        settings.setValue(SettingKey::currentModeId, modes[(modes.indexOf(*current) + 1) % modes.size()].id);
    m_state.setStatusLine(QStringLiteral("已切换模式：") + DictationSetup::currentMode(settings).name);
}

QCoro::Task<void> RecordingActions::switchAction(DictationKeys::SwitchAction action)
{
    if (!m_state.isRecording())
        co_return;
    const AppState::RecordAction current = m_state.currentAction();
    std::optional<QString> selection;
    if (ActionSwitch::needsSelection(current, action)) {
        // The read waits on the front application; the recording may end or change meanwhile.
        const QPointer<RecordingActions> self(this);
        const quint64 generation = m_state.generation();
        selection = co_await readSelectedText(&m_accessibility);
        if (!self || !m_state.isRecording() || m_state.generation() != generation || m_state.currentAction() != current)
            co_return;
        if (!selection) {
            noSelection(generation);
            co_return;
        }
    }
    const std::optional<ActionSwitch::State> next = ActionSwitch::apply(current, action, selection);
    if (!next)
        co_return;
    m_state.setCurrentAction(next->action);
    m_commands.setPendingActions(next->pending);
    m_overlay.showListening(next->pending.translate, next->pending.ask, next->pending.rewrite);
    m_state.setStatusLine(ActionSwitch::listeningStatus(next->pending));
}

void RecordingActions::noSelection(quint64 generation)
{
    m_state.setStatusLine(kNoSelection);
    m_overlay.fail(kNoSelection);
    const QPointer<RecordingActions> self(this);
    m_clock.schedule(kNoSelectionHold, [self, generation] {
        if (!self || !self->m_state.isRecording() || self->m_state.generation() != generation)
            return;
        // The status line keeps the hint; only the capsule goes back to listening.
        const PendingActions pending = self->m_commands.pendingActions();
        self->m_overlay.showListening(pending.translate, pending.ask, pending.rewrite);
    });
}

#include "app/controller/HotkeyWiring.h"

#include "app/controller/AppState.h"
#include "app/controller/HotkeyRole.h"
#include "app/controller/RecordingActions.h"
#include "app/controller/RecordingCommands.h"
#include "app/controller/Settings.h"
#include "app/desktop/HotkeyEngine.h"
#include "core/async/PostToThread.h"

#include <QPointer>

#include <utility>

HotkeyWiring::HotkeyWiring(AppState& state, HotkeyEngine& engine, RecordingActions& actions,
                           RecordingCommands& commands, Migrations::FnKeySystem fnKey, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_engine(engine)
    , m_actions(actions)
    , m_commands(commands)
    , m_fnKey(std::move(fnKey))
{}

void HotkeyWiring::install()
{
    Settings& settings = m_state.settings();
    // The engine calls these on its key thread; the work belongs to this object's thread, and
    // the engine may outlive this object.
    const QPointer<HotkeyWiring> self(this);
    HotkeyEngine::Binding talk;
    talk.hotkey = settings.hotkey(SettingKey::hkTalk);
    talk.onDown = [self] { postTo(self.data(), [self] { self->talkDown(); }); };
    talk.onUp = [self] { postTo(self.data(), [self] { self->talkUp(); }); };
    m_engine.installBinding(QStringLiteral("talk"), std::move(talk));

    HotkeyEngine::Binding cycle;
    cycle.hotkey = settings.hotkey(SettingKey::hkCycle);
    cycle.onDown = [self] { postTo(self.data(), [self] { self->m_actions.cycleMode(); }); };
    m_engine.installBinding(QStringLiteral("cycle"), std::move(cycle));

    m_engine.setOnCancel([self] { postTo(self.data(), [self] { self->m_commands.cancelDictation(); }); });
    m_engine.setOnSwitchAction([self](HotkeyEngine::SwitchAction action) {
        postTo(self.data(), [self, action] { self->m_actions.switchAction(action); });
    });
    syncSecondaryKeys();
    m_engine.setOnCaptured([self](const QString& id, const Hotkey& hotkey) {
        if (self)
            self->hotkeyRecorded(id, hotkey);
    });
}

bool HotkeyWiring::holdToTalk() const
{
    return m_state.settings().text(SettingKey::recordTrigger) == QLatin1String("hold");
}

// The engine reports transitions only (a held key's auto-repeat is not a press), and each
// handler still looks at whether a recording runs, so a bounce while holding never stops it.
void HotkeyWiring::talkDown()
{
    if (holdToTalk() && m_state.isRecording())
        return;
    m_actions.toggleRecord(false);
}

void HotkeyWiring::talkUp()
{
    if (holdToTalk() && m_state.isRecording())
        m_actions.toggleRecord(false);
}

void HotkeyWiring::syncSecondaryKeys()
{
    const Settings& settings = m_state.settings();
    m_engine.setPrimaryHotkey(settings.hotkey(SettingKey::hkTalk));
    m_engine.setAskHotkey(settings.hotkey(SettingKey::hkAsk));
    m_engine.setTranslateHotkey(settings.hotkey(SettingKey::hkTranslate));
    m_engine.setRewriteHotkey(settings.hotkey(SettingKey::hkRewrite));
}

void HotkeyWiring::updateHotkey(const QString& id, const std::optional<Hotkey>& hotkey)
{
    if (const HotkeyRole* role = HotkeyRole::byId(id))
        m_state.settings().setHotkey(role->setting, hotkey);
    m_engine.updateHotkey(id, hotkey);
    syncSecondaryKeys();
    m_state.bumpHistoryVersion();
}

void HotkeyWiring::hotkeyRecorded(const QString& id, const Hotkey& hotkey)
{
    Settings& settings = m_state.settings();
    if (const HotkeyRole* role = HotkeyRole::byId(id))
        settings.setHotkey(role->setting, hotkey);
    syncSecondaryKeys();
    const bool fnAlone =
        hotkey.isModifierOnly && hotkey.modifiers == 0 && hotkey.keyCode == Migrations::Hotkeys::fnAlone.keyCode;
    if (id == QLatin1String("talk") && fnAlone && m_fnKey.hijacksSystem && m_fnKey.hijacksSystem()) {
        settings.setValue(SettingKey::didAutoSetFnNoActionV8, true);
        if (m_fnKey.setToNoAction)
            m_fnKey.setToNoAction();
    }
    m_state.bumpHistoryVersion();
}

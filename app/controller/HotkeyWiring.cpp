#include "app/controller/HotkeyWiring.h"

#include "app/controller/AppState.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/HotkeyRole.h"
#include "app/controller/Recording.h"
#include "app/controller/Settings.h"
#include "app/desktop/HotkeyEngine.h"
#include "core/async/PostToThread.h"
#include "core/text/StyleMode.h"
#include "platform/Clock.h"

#include <QPointer>

#include <utility>

HotkeyWiring::HotkeyWiring(AppState& state, HotkeyEngine& engine, Recording& recording, Clock& clock,
                           Migrations::FnKeySystem fnKey, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_engine(engine)
    , m_recording(recording)
    , m_clock(clock)
    , m_fnKey(std::move(fnKey))
{
    connect(&m_state, &AppState::isRecordingChanged, this, &HotkeyWiring::recordingChanged);
}

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
    cycle.onDown = [self] { postTo(self.data(), [self] { self->cycleMode(); }); };
    m_engine.installBinding(QStringLiteral("cycle"), std::move(cycle));

    // Queued, as the talk key's calls are, so every key reaches the recording in the order typed.
    connect(&m_engine, &HotkeyEngine::cancelPressed, &m_recording, &Recording::cancel, Qt::QueuedConnection);
    connect(
        &m_engine, &HotkeyEngine::switchPressed, &m_recording,
        [this](HotkeyEngine::SwitchAction action) { m_recording.switchAction(action); }, Qt::QueuedConnection);
    connect(&m_engine, &HotkeyEngine::captured, this, &HotkeyWiring::hotkeyRecorded);
    syncSecondaryKeys();
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
    m_recording.toggle();
}

void HotkeyWiring::talkUp()
{
    if (holdToTalk() && m_state.isRecording())
        m_recording.stop();
}

void HotkeyWiring::recordingChanged(bool recording)
{
    if (recording)
        m_engine.setSwitchDeadline(m_clock.now() + DictationKeys::switchWindow);
    m_engine.setRecordingActive(recording);
}

void HotkeyWiring::cycleMode()
{
    Settings& settings = m_state.settings();
    const QList<StyleMode>& modes = StyleMode::builtins();
    // An unknown mode stays as it is; the dictation runs in the formal one meanwhile.
    if (const StyleMode* current = StyleMode::byId(settings.text(SettingKey::currentModeId)))
        settings.setValue(SettingKey::currentModeId, modes[(modes.indexOf(*current) + 1) % modes.size()].id);
    m_state.setStatusLine(QStringLiteral("已切换模式：") + DictationSetup::currentMode(settings).name);
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

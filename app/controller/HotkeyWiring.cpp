#include "app/controller/HotkeyWiring.h"

#include "app/controller/AppState.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/HotkeyRole.h"
#include "app/controller/Recording.h"
#include "app/controller/Settings.h"
#include "app/desktop/HotkeyEngine.h"
#include "core/text/StyleMode.h"
#include "platform/Clock.h"

#include <utility>

HotkeyWiring::HotkeyWiring(AppState& state, Settings& settings, HotkeyEngine& engine, Recording& recording,
                           Clock& clock, Migrations::FnKeySystem fnKey, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_settings(settings)
    , m_engine(engine)
    , m_recording(recording)
    , m_clock(clock)
    , m_fnKey(std::move(fnKey))
{
    connect(&m_state, &AppState::isRecordingChanged, this, &HotkeyWiring::recordingChanged);
}

void HotkeyWiring::install()
{
    // Queued, also for what the engine reports on this thread (a key let go when the engine
    // stops), so every key reaches the recording in the order typed and never in the middle of
    // other work.
    connect(&m_engine, &HotkeyEngine::pressed, this, &HotkeyWiring::pressed, Qt::QueuedConnection);
    connect(&m_engine, &HotkeyEngine::released, this, &HotkeyWiring::released, Qt::QueuedConnection);
    connect(&m_engine, &HotkeyEngine::cancelPressed, &m_recording, &Recording::cancel, Qt::QueuedConnection);
    connect(&m_settings, &Settings::changed, this, &HotkeyWiring::hotkeySettingChanged);
    m_engine.setHotkeys(HotkeyRole::fromSettings(m_settings));
}

void HotkeyWiring::pressed(HotkeyUse use)
{
    switch (use) {
    case HotkeyUse::talk:
        return talkDown();
    case HotkeyUse::cycle:
        return cycleMode();
    case HotkeyUse::ask:
        m_recording.switchAction(RecordingPurpose::Action::Ask);
        return;
    case HotkeyUse::translate:
        m_recording.switchAction(RecordingPurpose::Action::Translate);
        return;
    case HotkeyUse::rewrite:
        m_recording.switchAction(RecordingPurpose::Action::Rewrite);
        return;
    }
}

void HotkeyWiring::released(HotkeyUse use)
{
    if (use == HotkeyUse::talk)
        talkUp();
}

void HotkeyWiring::hotkeySettingChanged(SettingKey key)
{
    if (!HotkeyRole::bySetting(key))
        return;
    Settings& settings = m_settings;
    m_engine.setHotkeys(HotkeyRole::fromSettings(settings));
    if (key != SettingKey::hkTalk)
        return;
    // Menu alone as the talk key: the desktop's own use of the key goes, once the user chose it.
    const std::optional<Hotkey> talk = settings.hotkey(SettingKey::hkTalk);
    const bool fnAlone =
        talk && talk->isModifierOnly && talk->modifiers == 0 && talk->keyCode == Migrations::Hotkeys::fnAlone.keyCode;
    if (fnAlone && m_fnKey.hijacksSystem && m_fnKey.hijacksSystem()) {
        settings.setValue(SettingKey::didAutoSetFnNoActionV8, true);
        if (m_fnKey.setToNoAction)
            m_fnKey.setToNoAction();
    }
}

bool HotkeyWiring::holdToTalk() const
{
    return m_settings.text(SettingKey::recordTrigger) == QLatin1String("hold");
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
    Settings& settings = m_settings;
    const QList<StyleMode>& modes = StyleMode::builtins();
    // An unknown mode stays as it is; the dictation runs in the formal one meanwhile.
    if (const StyleMode* current = StyleMode::byId(settings.text(SettingKey::currentModeId)))
        settings.setValue(SettingKey::currentModeId, modes[(modes.indexOf(*current) + 1) % modes.size()].id);
    m_state.setStatusLine(QStringLiteral("已切换模式：") + DictationSetup::currentMode(settings).name);
}

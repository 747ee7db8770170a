#pragma once

#include "app/controller/Migrations.h"
#include "app/controller/SettingsTable.h"
#include "app/desktop/HotkeyUse.h"

#include <QObject>

class AppState;
class Clock;
class HotkeyEngine;
class Recording;
class Settings;

// Connects the global hotkeys to the recording: the talk key (pressed to toggle, or held for as
// long as the recording lasts), the mode-cycling key, Esc and the chord keys of a running
// recording; tells the engine when a recording runs (and opens the chord keys' window). The
// settings are the one place the hotkeys are kept: the engine is handed the whole set from them,
// again whenever one changes. The engine reports keys on its key thread; they reach this object
// through its event loop, in the order typed, and are dropped once the object is gone. Main
// thread only.
class HotkeyWiring : public QObject
{
    Q_OBJECT

public:
    // fnKey: the desktop's claim on the Fn key, released when the user makes Fn the talk key.
    HotkeyWiring(AppState& state, Settings& settings, HotkeyEngine& engine, Recording& recording, Clock& clock,
                 Migrations::FnKeySystem fnKey, QObject* parent = nullptr);

    // Hands the engine the settings' hotkeys and follows the engine's keys. Once, before the
    // engine starts.
    void install();

private:
    void pressed(HotkeyUse use);
    void released(HotkeyUse use);
    void hotkeySettingChanged(SettingKey key);
    void talkDown();
    void talkUp();
    bool holdToTalk() const;
    // Steps the current style mode to the next built-in one, formal wrapping round to raw.
    void cycleMode();
    void recordingChanged(bool recording);

    AppState& m_state;
    Settings& m_settings;
    HotkeyEngine& m_engine;
    Recording& m_recording;
    Clock& m_clock;
    Migrations::FnKeySystem m_fnKey;
};

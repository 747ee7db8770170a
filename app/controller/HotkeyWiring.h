#pragma once

#include "app/controller/Migrations.h"
#include "platform/Hotkey.h"

#include <QObject>
#include <QString>

#include <optional>

class AppState;
class Clock;
class HotkeyEngine;
class Recording;

// Connects the global hotkeys to the recording: the talk key (pressed to toggle, or held for as
// long as the recording lasts), the mode-cycling key, Esc and the chord keys of a running
// recording; tells the engine when a recording runs (and opens the chord keys' window); keeps the
// engine's keys in step with the settings and stores the keys the hotkey recorder captures. The engine calls in on its
// key thread; every call is posted to this object's thread and dropped once the object is gone; still, stop the engine
// before destroying this object, so no key call is half-way through posting to it. Main thread only otherwise.
class HotkeyWiring : public QObject
{
    Q_OBJECT

public:
    // fnKey: the desktop's claim on the Fn key, released when the user makes Fn the talk key.
    HotkeyWiring(AppState& state, HotkeyEngine& engine, Recording& recording, Clock& clock,
                 Migrations::FnKeySystem fnKey, QObject* parent = nullptr);

    // Installs the "talk" and "cycle" bindings and the engine's callbacks. Once, before the
    // engine starts.
    void install();
    // Copies the talk, ask, translate and rewrite keys from the settings into the engine.
    void syncSecondaryKeys();
    // Stores or clears the hotkey of a role's id (see HotkeyRole).
    void updateHotkey(const QString& id, const std::optional<Hotkey>& hotkey);
    // The hotkey recorder captured hotkey for id.
    void hotkeyRecorded(const QString& id, const Hotkey& hotkey);

private:
    void talkDown();
    void talkUp();
    bool holdToTalk() const;
    // Steps the current style mode to the next built-in one, formal wrapping round to raw.
    void cycleMode();
    void recordingChanged(bool recording);

    AppState& m_state;
    HotkeyEngine& m_engine;
    Recording& m_recording;
    Clock& m_clock;
    Migrations::FnKeySystem m_fnKey;
};

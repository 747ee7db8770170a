#pragma once

class AppState;
class HotkeyEngine;
class PermissionProbes;

// Whether the global hotkeys work: the engine has to watch the keyboard and the desktop has to
// let the program read and type into other windows. Main thread only.
class HotkeyStatus
{
public:
    HotkeyStatus(AppState& state, HotkeyEngine& engine, PermissionProbes& permissions);

    // Starts the engine and publishes whether the hotkeys are live.
    void start();
    // start(), then shows the idle line for the outcome and has the views reread the hotkeys.
    void retry();

private:
    AppState& m_state;
    HotkeyEngine& m_engine;
    PermissionProbes& m_permissions;
};

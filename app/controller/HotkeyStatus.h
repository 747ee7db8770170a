#pragma once

#include <QCoroTask>
#include <QObject>

class AppState;
class HotkeyEngine;
class PermissionProbes;

// Whether the global hotkeys work: the engine has to watch the keyboard and the desktop has to
// let the program read and type into other windows. The permission check may wait on the X
// server and the session bus, so it runs on a worker. Main thread only.
class HotkeyStatus : public QObject
{
    Q_OBJECT

public:
    HotkeyStatus(AppState& state, HotkeyEngine& engine, PermissionProbes& permissions, QObject* parent = nullptr);

    // Starts the engine and publishes whether the hotkeys are live.
    QCoro::Task<void> start();
    // start(), then shows the idle line for the outcome and has the views reread the hotkeys.
    QCoro::Task<void> retry();

private:
    AppState& m_state;
    HotkeyEngine& m_engine;
    PermissionProbes& m_permissions;
};

#pragma once

#include <QObject>
#include <QString>

class AppState;
class HotkeyEngine;

// Whether the global hotkeys work: the engine watches the keyboard and holds its key grabs. The
// accessibility bus plays no part: the hotkeys and the paste work without it. Main thread only.
class HotkeyStatus : public QObject
{
    Q_OBJECT

public:
    HotkeyStatus(AppState& state, HotkeyEngine& engine, QObject* parent = nullptr);

    // Starts the engine and publishes whether the hotkeys are live.
    void start();
    // start(), then shows the idle line for the outcome and has the views reread the hotkeys.
    void retry();

private:
    AppState& m_state;
    HotkeyEngine& m_engine;
};

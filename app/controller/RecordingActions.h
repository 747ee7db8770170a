#pragma once

#include "app/desktop/DictationKeys.h"

#include <QCoroTask>
#include <QObject>

#include <chrono>

class Accessibility;
class AppState;
class Clock;
class RecordingCommands;
class RecordingOverlay;

// The commands behind the hotkeys: start or stop a recording, step the style mode, and change
// what the running recording is for. Main thread only.
class RecordingActions : public QObject
{
    Q_OBJECT

public:
    // How long "nothing selected" stays on the capsule before it listens again.
    static constexpr std::chrono::milliseconds kNoSelectionHold{4000};
    static inline const QString kNoSelection = QStringLiteral("未读到选中文本——先选中要改的文字");

    RecordingActions(AppState& state, RecordingCommands& commands, RecordingOverlay& overlay,
                     Accessibility& accessibility, Clock& clock, QObject* parent = nullptr);

    // Starts a recording (a translation when translate is set) when none runs, else stops it.
    void toggleRecord(bool translate);
    // Steps the current style mode to the next built-in one, formal wrapping round to raw.
    void cycleMode();
    // Switches the running recording's purpose; nothing without a recording. Rewrite reads the
    // front application's selection first, so the change may come later.
    QCoro::Task<void> switchAction(DictationKeys::SwitchAction action);

private:
    void noSelection(quint64 generation);

    AppState& m_state;
    RecordingCommands& m_commands;
    RecordingOverlay& m_overlay;
    Accessibility& m_accessibility;
    Clock& m_clock;
};

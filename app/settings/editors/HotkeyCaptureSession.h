#pragma once

#include "app/desktop/HotkeyUse.h"
#include "platform/Hotkey.h"

#include <QObject>

#include <optional>

class HotkeyEngine;

// The one capture of a new hotkey that the settings window's rows share: which use it is for,
// what it took, and when it ended. While a capture runs the engine withholds the whole keyboard
// from the desktop, so nothing may leave one running: a row that goes away, is hidden or
// refreshed cancels its own, and a capture the engine ended (a hotkey taken, or Esc) ends here as
// well. Main thread only.
class HotkeyCaptureSession : public QObject
{
    Q_OBJECT

public:
    explicit HotkeyCaptureSession(HotkeyEngine& engine, QObject* parent = nullptr);
    ~HotkeyCaptureSession() override;

    // Starts capturing for use; a capture for another use ends first.
    void begin(HotkeyUse use);
    // Ends the capture when it is use's; another row's capture is left alone.
    void cancel(HotkeyUse use);
    // The use being captured for, none when none.
    std::optional<HotkeyUse> capturing() const { return m_use; }

    // Another program holds hotkey's combination, so it also reaches that program. The answer
    // is the engine's last one; probeGrabs() asks the desktop again, and grabsChanged() follows.
    bool isHeldElsewhere(const Hotkey& hotkey) const;
    void probeGrabs();

Q_SIGNALS:
    // The user pressed hotkey for use; the capture ends with it.
    void captured(HotkeyUse use, const Hotkey& hotkey);
    // The capture for use is over: a hotkey was captured, Esc abandoned it or it was cancelled.
    void ended(HotkeyUse use);
    // The engine's grabs changed; isHeldElsewhere may answer differently.
    void grabsChanged();

private:
    void end();

    HotkeyEngine& m_engine;
    std::optional<HotkeyUse> m_use;
};

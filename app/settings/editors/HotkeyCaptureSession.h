#pragma once

#include "platform/Hotkey.h"

#include <QObject>
#include <QString>

class HotkeyEngine;

// The one capture of a new hotkey that the settings window's rows share: which row's id it is
// for, and when it ended. While a capture runs the engine withholds the whole keyboard from the
// desktop, so nothing may leave one running: a row that goes away, is hidden or refreshed cancels
// its own, and a capture the engine ended (a hotkey taken, or Esc) ends here as well. Main thread
// only.
class HotkeyCaptureSession : public QObject
{
    Q_OBJECT

public:
    explicit HotkeyCaptureSession(HotkeyEngine& engine, QObject* parent = nullptr);
    ~HotkeyCaptureSession() override;

    // Starts capturing for id; a capture for another id ends first.
    void begin(const QString& id);
    // Ends the capture when it is id's; another row's capture is left alone.
    void cancel(const QString& id);
    // The id being captured for, empty when none.
    QString capturingId() const { return m_id; }

    // Another program holds hotkey's combination, so it also reaches that program.
    bool isHeldElsewhere(const Hotkey& hotkey) const;

Q_SIGNALS:
    // The capture for id is over: a hotkey was captured, Esc abandoned it or it was cancelled.
    void ended(const QString& id);
    // The engine's grabs changed; isHeldElsewhere may answer differently.
    void grabsChanged();

private:
    void end();

    HotkeyEngine& m_engine;
    QString m_id;
};

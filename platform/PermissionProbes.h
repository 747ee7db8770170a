#pragma once

#include <QObject>

// What the desktop lets this program do. On Linux nothing is granted per application: the
// microphone counts as granted when an input device exists, and reading and typing into other
// applications when the X server has XTest and XInput 2 and the accessibility bus is switched on.
//
// Threads: microphoneAvailable() reads the media device list the main thread keeps and answers at
// once; call it there. accessibilityAvailable() asks the X server and the session bus and may
// block until their time-out (half a second) when either hangs: call it from a worker thread,
// never from the GUI thread. enableAccessibility() only sends its request and returns at once;
// any thread. None of them fails by throwing: what cannot be asked counts as not available.
//
// Nobody needs to ask again and again: after watchChanges() (main thread), mayHaveChanged is
// emitted on the main thread whenever an answer may differ from the last one (a device came or
// went, the accessibility bus was switched).
class PermissionProbes : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool microphoneAvailable() = 0;
    virtual bool accessibilityAvailable() = 0;

    // Switches the desktop's accessibility bus on (org.a11y.Status IsEnabled), as the desktop's
    // own accessibility settings do. The outcome shows in a later accessibilityAvailable().
    virtual void enableAccessibility() = 0;

    // Starts following the desktop; a second call does nothing. Not done at construction, so a
    // program that never asks (or asks only after its first frame) pays nothing for it. A desktop
    // whose answers cannot be followed never emits.
    virtual void watchChanges() {}

Q_SIGNALS:
    void mayHaveChanged();
};

#pragma once

// What the desktop lets this program do. On Linux nothing is granted per application: the
// microphone counts as granted when an input device exists, and reading and typing into other
// applications when the X server has XTest and XInput 2 and the accessibility bus is switched on.
//
// Threads: microphoneAvailable() reads the media device list the main thread keeps and answers at
// once; call it there. accessibilityAvailable() asks the X server and the session bus and may
// block until their time-out (half a second) when either hangs: call it from a worker thread,
// never from the GUI thread. enableAccessibility() only sends its request and returns at once;
// any thread. None of them fails by throwing: what cannot be asked counts as not available.
class PermissionProbes
{
public:
    virtual ~PermissionProbes() = default;

    virtual bool microphoneAvailable() = 0;
    virtual bool accessibilityAvailable() = 0;

    // Switches the desktop's accessibility bus on (org.a11y.Status IsEnabled), as the desktop's
    // own accessibility settings do. The outcome shows in a later accessibilityAvailable().
    virtual void enableAccessibility() = 0;
};

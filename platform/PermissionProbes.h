#pragma once

// What the desktop lets this program do. On Linux nothing is granted per application: the
// microphone counts as granted when an input device exists, and reading and typing into other
// applications when the X server has XTest and XInput 2 and the accessibility bus is switched on.
class PermissionProbes
{
public:
    virtual ~PermissionProbes() = default;

    virtual bool microphoneAvailable() = 0;
    virtual bool accessibilityAvailable() = 0;

    // Switches the desktop's accessibility bus on (org.a11y.Status IsEnabled), as the desktop's
    // own accessibility settings do.
    virtual void enableAccessibility() = 0;
};

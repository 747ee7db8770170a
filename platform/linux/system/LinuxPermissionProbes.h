#pragma once

#include "platform/PermissionProbes.h"

// Microphones from Qt Multimedia, X extensions from the X server, the accessibility switch from
// the session bus.
class LinuxPermissionProbes : public PermissionProbes
{
public:
    bool microphoneAvailable() override;
    bool accessibilityAvailable() override;
    void enableAccessibility() override;

    // The parts of accessibilityAvailable(), for diagnostics and tests.
    static bool xExtensionsPresent();
    static bool accessibilityBusEnabled();
};

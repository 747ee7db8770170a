#pragma once

#include "platform/PermissionProbes.h"

class QMediaDevices;

// Microphones from Qt Multimedia, X extensions from the X server, the accessibility switch from
// the session bus. Changes come from Qt Multimedia's device list and from the accessibility bus's
// own announcements, so nothing is asked twice while nothing changes.
class LinuxPermissionProbes : public PermissionProbes
{
    Q_OBJECT

public:
    using PermissionProbes::PermissionProbes;

    bool microphoneAvailable() override;
    bool accessibilityAvailable() override;
    void enableAccessibility() override;
    void watchChanges() override;

    // The parts of accessibilityAvailable(), for diagnostics and tests. The X server is asked once
    // for the life of the process: its extensions are fixed when it starts.
    static bool xExtensionsPresent();
    static bool accessibilityBusEnabled();

private Q_SLOTS:
    void busPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    QMediaDevices* m_devices = nullptr;
};

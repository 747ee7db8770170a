#pragma once

#include "platform/BoundedSecretStore.h"
#include "platform/Ports.h"
#include "platform/SystemClock.h"
#include "platform/linux/PortalAppearance.h"
#include "platform/linux/X11Compositing.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/audio/QtAudioInput.h"
#include "platform/linux/audio/QtSoundOutput.h"
#include "platform/linux/clipboard/QtClipboard.h"
#include "platform/linux/keychain/QtKeychainSecretStore.h"
#include "platform/linux/pulse/PulseOutputVolume.h"
#include "platform/linux/system/GlibcFreedMemory.h"
#include "platform/linux/system/LinuxPermissionProbes.h"
#include "platform/linux/system/QProcessLauncher.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "platform/linux/x11/X11Workspace.h"
#include "platform/linux/x11/XTestKeySynthesizer.h"

// Every Linux adapter the program uses, built once by the composition root (after the
// QApplication, on the main thread) and handed on as Ports. Not movable: the ports point into it.
struct LinuxAdapters
{
    SystemClock clock;
    X11KeyEventSource keys;
    XTestKeySynthesizer keySynthesizer;
    QtAudioInput audioInput;
    QtSoundOutput soundOutput;
    PulseOutputVolume outputVolume;
    QtClipboard clipboard;
    X11Workspace workspace;
    AtspiAccessibility accessibility{keySynthesizer};
    X11Compositing compositing;
    PortalAppearance appearance;
    LinuxPermissionProbes permissions;
    QProcessLauncher launcher;
    QtKeychainSecretStore keyring;
    // A locked keyring whose prompt nobody answers must not hold a secret back for ever.
    BoundedSecretStore secrets{keyring, clock};
    GlibcFreedMemory freedMemory;

    LinuxAdapters() = default;
    LinuxAdapters(const LinuxAdapters&) = delete;
    LinuxAdapters& operator=(const LinuxAdapters&) = delete;

    Ports ports();
};

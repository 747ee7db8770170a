#pragma once

#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/clipboard/QtClipboard.h"
#include "platform/linux/x11/X11Workspace.h"
#include "platform/linux/x11/XTestKeySynthesizer.h"
#include "tests/app/desktop/insertion_x11/FieldHelper.h"

// The real Linux adapters, as the application builds them, for tests in the headless desktop.
struct DesktopPorts
{
    X11Workspace workspace;
    XTestKeySynthesizer keys;
    QtClipboard clipboard;
    AtspiAccessibility accessibility{keys};

    bool isUsable()
    {
        QFuture<bool> ready = accessibility.serviceReady();
        ready.waitForFinished();
        return workspace.isConnected() && keys.isAvailable() && ready.result();
    }

    // Focuses field in the helper's window and waits until the desktop shows it in front.
    bool bringToFront(FieldHelper& helper, const QString& field) { return bringToFront(workspace, helper, field); }
    // The same for a test that keeps only the workspace (its own AT-SPI reader must be the one
    // user of libatspi in the process).
    static bool bringToFront(Workspace& workspace, FieldHelper& helper, const QString& field);
};

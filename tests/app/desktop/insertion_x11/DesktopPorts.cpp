#include "tests/app/desktop/insertion_x11/DesktopPorts.h"

#include <QTest>

bool DesktopPorts::bringToFront(Workspace& workspace, FieldHelper& helper, const QString& field)
{
    if (!helper.isReady() || !helper.focus(field))
        return false;
    return QTest::qWaitFor(
        [&] {
            const auto front = workspace.frontApplication();
            return front && front->pid == helper.pid() && helper.isActive();
        },
        20000);
}

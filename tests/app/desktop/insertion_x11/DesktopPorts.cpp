#include "tests/app/desktop/insertion_x11/DesktopPorts.h"

#include <QDeadlineTimer>
#include <QTest>

bool DesktopPorts::bringToFront(Workspace& workspace, FieldHelper& helper, const QString& field)
{
    if (!helper.isReady() || !helper.focus(field))
        return false;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        const auto front = workspace.frontApplication();
        if (front && front->pid == helper.pid() && helper.isActive())
            return true;
        QTest::qWait(20);
    }
    return false;
}

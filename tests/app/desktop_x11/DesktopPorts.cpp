#include "tests/app/desktop_x11/DesktopPorts.h"

#include <QDeadlineTimer>
#include <QTest>

bool DesktopPorts::bringToFront(FieldHelper& helper, const QString& field)
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

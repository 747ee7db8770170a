#include "app/desktop/PermissionsModel.h"
#include "platform/linux/system/LinuxPermissionProbes.h"
#include "tests/support/TestRegistry.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTest>

namespace {

bool setBusEnabled(bool on)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set");
    call << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled") << QVariant::fromValue(QDBusVariant(on));
    return QDBusConnection::sessionBus().call(call).type() == QDBusMessage::ReplyMessage;
}

} // namespace

// The headless desktop has a virtual microphone, an X server with XTest and XInput, and an
// accessibility bus.
class PermissionsOnDesktopTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theDesktopGrantsBoth()
    {
        LinuxPermissionProbes probes;
        QVERIFY(probes.microphoneAvailable());
        QVERIFY(LinuxPermissionProbes::xExtensionsPresent());
        QVERIFY(setBusEnabled(true));
        QVERIFY(probes.accessibilityAvailable());
    }

    void theModelFollowsTheBusSwitchWithoutAsking()
    {
        LinuxPermissionProbes probes;
        QVERIFY(setBusEnabled(false));
        PermissionsModel model(probes);
        QVERIFY(model.isGranted(MurmoPermission::microphone));
        QTRY_VERIFY_WITH_TIMEOUT(!model.isRefreshing(), 20000);
        QVERIFY(!model.isGranted(MurmoPermission::accessibility));

        probes.enableAccessibility();
        QTRY_VERIFY_WITH_TIMEOUT(model.isGranted(MurmoPermission::accessibility), 20000);
        QVERIFY(LinuxPermissionProbes::accessibilityBusEnabled());
        // Switched off where the desktop's settings would switch it.
        QVERIFY(setBusEnabled(false));
        QTRY_VERIFY_WITH_TIMEOUT(!model.isGranted(MurmoPermission::accessibility), 20000);
    }

    void cleanupTestCase() { setBusEnabled(true); }
};

MURMO_TEST(PermissionsOnDesktopTest)
#include "tst_PermissionsOnDesktop.moc"

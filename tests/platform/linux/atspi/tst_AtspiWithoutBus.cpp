#include "platform/linux/atspi/AtspiAccessibility.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/TestRegistry.h"

#include <QFuture>
#include <QTest>

#include <memory>

// A session started without D-Bus: no accessibility bus, and no session bus to ask for one.
// libatspi keeps no connection then; the reader must say so and read nothing, never hand a
// missing connection on.
class TestAtspiWithoutBus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("AT_SPI_BUS_ADDRESS");
        qunsetenv("DISPLAY");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/murmo-test-bus");
    }

    void readsNothingAndKeepsRunning()
    {
        RecordingKeySynthesizer keys;
        AtspiAccessibility accessibility(keys);
        const QFuture<bool> ready = accessibility.serviceReady();
        QTRY_VERIFY_WITH_TIMEOUT(ready.isFinished(), 20000);
        QVERIFY(!ready.result());
        QVERIFY(!accessibility.isServiceAvailable());

        const QFuture<AccessibleElementPtr> focused = accessibility.focusedElement();
        const QFuture<std::optional<QString>> title = accessibility.focusedWindowTitle(1);
        QTRY_VERIFY_WITH_TIMEOUT(focused.isFinished() && title.isFinished(), 20000);
        QVERIFY(!focused.result());
        QVERIFY(!title.result());
    }

    // The program connects after its first frame: one never asked ends without waiting for a
    // worker that never ran, and a request that comes first connects on its way.
    void connectsAtTheFirstRequestWhenNotStarted()
    {
        RecordingKeySynthesizer keys;
        std::make_unique<AtspiAccessibility>(keys).reset();
        AtspiAccessibility accessibility(keys);
        const QFuture<AccessibleElementPtr> focused = accessibility.focusedElement();
        QTRY_VERIFY_WITH_TIMEOUT(focused.isFinished(), 20000);
        QVERIFY(!focused.result());
    }
};

MURMO_TEST(TestAtspiWithoutBus)
#include "tst_AtspiWithoutBus.moc"

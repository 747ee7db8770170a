#include "app/desktop/MurmoPermission.h"
#include "app/desktop/PermissionsModel.h"
#include "tests/support/FakePermissionProbes.h"
#include "tests/support/FakeProcessLauncher.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using Start = FakeProcessLauncher::Start;
Q_DECLARE_METATYPE(MurmoPermission)

class PermissionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void permissionsHaveTheirRawValuesInOrder()
    {
        QCOMPARE(MurmoPermissions::allCases(),
                 (QList<MurmoPermission>{MurmoPermission::microphone, MurmoPermission::accessibility}));
        QCOMPARE(MurmoPermissions::rawValue(MurmoPermission::microphone), QStringLiteral("microphone"));
        QCOMPARE(MurmoPermissions::rawValue(MurmoPermission::accessibility), QStringLiteral("accessibility"));
        QCOMPARE(MurmoPermissions::fromRawValue("accessibility"), MurmoPermission::accessibility);
        QVERIFY(!MurmoPermissions::fromRawValue("Accessibility"));
    }

    void theModelLooksAtOnceAndPublishesOnlyChanges()
    {
        FakePermissionProbes probes;
        probes.microphone = true;
        ManualClock clock;
        PermissionsModel model(probes, clock);
        QTRY_VERIFY(!model.isRefreshing());
        QCOMPARE(model.granted(), (QMap<MurmoPermission, bool>{{MurmoPermission::microphone, true},
                                                               {MurmoPermission::accessibility, false}}));
        QSignalSpy changes(&model, &PermissionsModel::grantedChanged);
        model.refresh();
        QTRY_VERIFY(!model.isRefreshing());
        QCOMPARE(changes.count(), 0);

        probes.accessibility = true;
        model.refresh();
        QTRY_VERIFY(!model.isRefreshing());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).value<MurmoPermission>(), MurmoPermission::accessibility);
        QCOMPARE(changes.at(0).at(1).toBool(), true);
        QVERIFY(model.isGranted(MurmoPermission::accessibility));
    }

    void aModelStartedLaterLooksOnlyOnceStarted()
    {
        FakePermissionProbes probes;
        probes.microphone = true;
        ManualClock clock;
        PermissionsModel model(probes, clock, PermissionsModel::FirstLook::atStart);
        QSignalSpy changes(&model, &PermissionsModel::grantedChanged);
        model.refresh();
        QVERIFY(!model.isRefreshing());
        QCOMPARE(probes.microphoneProbes, 0);
        QVERIFY(model.granted().isEmpty());

        model.start();
        model.start();
        QTRY_VERIFY(!model.isRefreshing());
        QCOMPARE(probes.microphoneProbes, 1);
        QCOMPARE(model.granted(), (QMap<MurmoPermission, bool>{{MurmoPermission::microphone, true},
                                                               {MurmoPermission::accessibility, false}}));
        QCOMPARE(changes.count(), 2);
    }

    void pollingRefreshesEverySecondUntilStopped()
    {
        FakePermissionProbes probes;
        ManualClock clock;
        PermissionsModel model(probes, clock);
        QCOMPARE(probes.microphoneProbes, 1);
        QVERIFY(!model.isPolling());
        model.startPolling();
        model.startPolling();
        QCOMPARE(clock.pendingCount(), size_t(1));
        clock.advance(999ms);
        QCOMPARE(probes.microphoneProbes, 1);
        clock.advance(1ms);
        QCOMPARE(probes.microphoneProbes, 2);
        probes.microphone = true;
        QSignalSpy changes(&model, &PermissionsModel::grantedChanged);
        clock.advance(3s);
        QCOMPARE(probes.microphoneProbes, 5);
        QCOMPARE(changes.count(), 1);

        model.stopPolling();
        QVERIFY(!model.isPolling());
        clock.advance(5s);
        QCOMPARE(probes.microphoneProbes, 5);
    }

    void aListenerMayStopPollingFromItsHandler()
    {
        FakePermissionProbes probes;
        ManualClock clock;
        PermissionsModel model(probes, clock);
        QTRY_VERIFY(!model.isRefreshing());
        connect(&model, &PermissionsModel::grantedChanged, &model, [&model] { model.stopPolling(); });
        model.startPolling();
        probes.accessibility = true;
        clock.advance(1s);
        QTRY_VERIFY(!model.isPolling());
        clock.advance(5s);
        QCOMPARE(probes.accessibilityProbes, 2);
    }

    void aHangingAccessibilityProbeBlocksNothing()
    {
        FakePermissionProbes probes;
        QSemaphore gate;
        probes.gate = &gate;
        probes.microphone = true;
        probes.accessibility = true;
        ManualClock clock;
        PermissionsModel model(probes, clock);
        // The bus hangs: the model was built and knows the microphone all the same.
        QVERIFY(model.isRefreshing());
        QCOMPARE(model.granted(), (QMap<MurmoPermission, bool>{{MurmoPermission::microphone, true}}));

        // Polling goes on meanwhile, without piling up probes behind the hung one.
        model.startPolling();
        clock.advance(3s);
        QCOMPARE(probes.microphoneProbes, 4);
        QCoreApplication::processEvents();
        QCOMPARE(probes.accessibilityProbes, 0);

        gate.release(2); // the hung probe, then one more for the ticks that came meanwhile
        QTRY_VERIFY(model.isGranted(MurmoPermission::accessibility));
        QTRY_COMPARE(probes.accessibilityProbes, 2);
        QTRY_VERIFY(!model.isRefreshing());
        model.stopPolling();
    }

    void aDestroyedModelStopsPolling()
    {
        FakePermissionProbes probes;
        ManualClock clock;
        {
            PermissionsModel model(probes, clock);
            model.startPolling();
        } // with its probe still out: the answer finds no model
        QCoreApplication::processEvents();
        QCOMPARE(clock.pendingCount(), size_t(0));
        clock.advance(2s);
        QCOMPARE(probes.microphoneProbes, 1);
    }

    void requestAndSettingsOpenTheDesktopsPanel_data()
    {
        QTest::addColumn<MurmoPermission>("permission");
        QTest::addColumn<QStringList>("installedPrograms");
        QTest::addColumn<QList<Start>>("expected");
        QTest::addColumn<int>("enables");
        QTest::newRow("microphone on GNOME")
            << MurmoPermission::microphone << QStringList{"gnome-control-center", "pavucontrol"}
            << QList<Start>{{"/usr/bin/gnome-control-center", {"sound"}}} << 0;
        QTest::newRow("accessibility on GNOME")
            << MurmoPermission::accessibility << QStringList{"gnome-control-center"}
            << QList<Start>{{"/usr/bin/gnome-control-center", {"universal-access"}}} << 1;
        QTest::newRow("accessibility on KDE") << MurmoPermission::accessibility << QStringList{"systemsettings"}
                                              << QList<Start>{{"/usr/bin/systemsettings", {"kcm_access"}}} << 1;
        QTest::newRow("microphone with only the mixer") << MurmoPermission::microphone << QStringList{"pavucontrol"}
                                                        << QList<Start>{{"/usr/bin/pavucontrol", {"--tab=4"}}} << 0;
        QTest::newRow("no settings program") << MurmoPermission::accessibility << QStringList{} << QList<Start>{} << 1;
    }

    void requestAndSettingsOpenTheDesktopsPanel()
    {
        QFETCH(MurmoPermission, permission);
        QFETCH(QStringList, installedPrograms);
        QFETCH(QList<Start>, expected);
        QFETCH(int, enables);
        FakePermissionProbes probes;
        FakeProcessLauncher launcher;
        for (const QString& name : installedPrograms)
            launcher.installed.insert(name, "/usr/bin/" + name);

        MurmoPermissions::request(permission, probes, launcher);
        QCOMPARE(launcher.starts, expected);
        QCOMPARE(probes.enableCalls, enables);

        launcher.starts.clear();
        QCOMPARE(MurmoPermissions::openSettings(permission, launcher), !expected.isEmpty());
        QCOMPARE(launcher.starts, expected);
        QCOMPARE(probes.enableCalls, enables);
    }
};

MURMO_TEST(PermissionsTest)
#include "tst_Permissions.moc"

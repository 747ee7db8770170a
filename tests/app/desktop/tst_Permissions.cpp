#include "app/desktop/MurmoPermission.h"
#include "app/desktop/PermissionsModel.h"
#include "tests/support/FakePermissionProbes.h"
#include "tests/support/FakeProcessLauncher.h"
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
        PermissionsModel model(probes);
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
        PermissionsModel model(probes, PermissionsModel::FirstLook::atStart);
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

    void aChangeNoticeIsTheOnlyThingThatLooksAgain()
    {
        FakePermissionProbes probes;
        PermissionsModel model(probes, PermissionsModel::FirstLook::atStart);
        // Following the desktop costs nothing before the first look.
        Q_EMIT probes.mayHaveChanged();
        QCOMPARE(probes.watchCalls, 0);
        QCOMPARE(probes.microphoneProbes, 0);
        model.start();
        QTRY_VERIFY(!model.isRefreshing());
        QCOMPARE(probes.watchCalls, 1);

        QSignalSpy changes(&model, &PermissionsModel::grantedChanged);
        probes.microphone = true;
        probes.accessibility = true;
        Q_EMIT probes.mayHaveChanged();
        QCOMPARE(probes.microphoneProbes, 2);
        QTRY_VERIFY(model.isGranted(MurmoPermission::accessibility));
        QCOMPARE(changes.count(), 2);
        QCOMPARE(probes.accessibilityProbes, 2);
    }

    void aHangingAccessibilityProbeBlocksNothing()
    {
        FakePermissionProbes probes;
        QSemaphore gate;
        probes.gate = &gate;
        probes.microphone = true;
        probes.accessibility = true;
        PermissionsModel model(probes);
        // The bus hangs: the model was built and knows the microphone all the same.
        QVERIFY(model.isRefreshing());
        QCOMPARE(model.granted(), (QMap<MurmoPermission, bool>{{MurmoPermission::microphone, true}}));

        // Changes are still heard meanwhile, without piling up probes behind the hung one.
        for (int notice = 0; notice < 3; ++notice)
            Q_EMIT probes.mayHaveChanged();
        QCOMPARE(probes.microphoneProbes, 4);
        QCoreApplication::processEvents();
        QCOMPARE(probes.accessibilityProbes, 0);

        gate.release(2); // the hung probe, then one more for the notices that came meanwhile
        QTRY_VERIFY(model.isGranted(MurmoPermission::accessibility));
        QTRY_COMPARE(probes.accessibilityProbes, 2);
        QTRY_VERIFY(!model.isRefreshing());
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

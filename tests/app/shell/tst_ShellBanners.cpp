#include "app/desktop/PermissionsModel.h"
#include "app/shell/FnKeyConflictBanner.h"
#include "app/shell/InstallLocation.h"
#include "app/shell/OnboardingView.h"
#include "app/shell/PermissionBanner.h"
#include "app/shell/PermissionRow.h"
#include "app/shell/SheetOverlay.h"
#include "app/shell/ShellBanner.h"
#include "app/ui/Theme.h"
#include "tests/support/FakePermissionProbes.h"
#include "tests/support/FakeProcessLauncher.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

class TestShellBanners : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
    }

    void permissionBannerShowsAStripPerMissingPermission_data()
    {
        QTest::addColumn<bool>("mic");
        QTest::addColumn<bool>("ax");
        QTest::newRow("both missing") << false << false;
        QTest::newRow("microphone missing") << false << true;
        QTest::newRow("accessibility missing") << true << false;
        QTest::newRow("both granted") << true << true;
    }
    void permissionBannerShowsAStripPerMissingPermission()
    {
        QFETCH(bool, mic);
        QFETCH(bool, ax);
        FakePermissionProbes probes;
        probes.microphone = mic;
        probes.accessibility = ax;
        FakeProcessLauncher launcher;
        PermissionsModel model(probes);
        PermissionBanner banner(model, probes, launcher);
        banner.resize(700, banner.sizeHint().height());
        // Nothing before the first look, whatever the permissions.
        QVERIFY(!banner.strip(MurmoPermission::microphone)->isVisibleTo(&banner));
        QVERIFY(!banner.strip(MurmoPermission::accessibility)->isVisibleTo(&banner));
        banner.show();
        QCOMPARE(banner.strip(MurmoPermission::microphone)->isVisibleTo(&banner), !mic);
        QTRY_VERIFY_WITH_TIMEOUT(!model.isRefreshing(), 20000);
        QCOMPARE(banner.strip(MurmoPermission::accessibility)->isVisibleTo(&banner), !ax);
        QCOMPARE(banner.sizeHint().height() == 0, mic && ax);
        // A microphone is missing only where there is none: nothing here grants one.
        const QString micTitle = banner.strip(MurmoPermission::microphone)->title();
        QVERIFY2(micTitle.contains(QStringLiteral("没有找到麦克风")) && !micTitle.contains(QStringLiteral("授权")),
                 qPrintable(micTitle));
        if (!mic && !ax) {
            banner.resize(700, banner.sizeHint().height());
            QVERIFY(banner.strip(MurmoPermission::microphone)->geometry().top() <
                    banner.strip(MurmoPermission::accessibility)->geometry().top());
        }
    }

    // The accessibility bus is explained alike wherever it is named: what it still serves (the
    // screen context, the selection a rewrite reads, learning from edits), and never that text
    // would only be copied without it, since typing into other applications does not need it.
    void accessibilityIsExplainedAlike_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<bool>("namesItsUses");
        QTest::newRow("permission row") << "row" << true;
        QTest::newRow("main window banner") << "banner" << true;
        QTest::newRow("first-run sheet's note") << "note" << false;
    }
    void accessibilityIsExplainedAlike()
    {
        QFETCH(QString, place);
        QFETCH(bool, namesItsUses);
        FakePermissionProbes probes;
        probes.accessibility = false;
        FakeProcessLauncher launcher;
        PermissionsModel model(probes);
        OnboardingView sheet(model);
        PermissionBanner banner(model, probes, launcher);
        banner.show();
        QTRY_VERIFY_WITH_TIMEOUT(!model.isRefreshing(), 20000);
        QVERIFY(banner.strip(MurmoPermission::accessibility)->isVisibleTo(&banner));
        QVERIFY(sheet.bottomNote()->isVisibleTo(&sheet));
        const QString text = place == QLatin1String("row")
                                 ? sheet.row(MurmoPermission::accessibility)->explanation()->text()
                             : place == QLatin1String("banner") ? banner.strip(MurmoPermission::accessibility)->title()
                                                                : sheet.bottomNote()->text();
        QVERIFY2(!text.contains(QStringLiteral("复制")), qPrintable(text));
        for (const QString& use : {QStringLiteral("屏幕上下文"), QStringLiteral("改写"), QStringLiteral("学习")})
            QVERIFY2(text.contains(use) == namesItsUses, qPrintable(text));
    }

    void permissionBannerAsksAsTheSheetDoes_data()
    {
        QTest::addColumn<bool>("accessibility");
        QTest::addColumn<bool>("settingsInstalled");
        QTest::newRow("microphone") << false << true;
        QTest::newRow("microphone, no settings program") << false << false;
        QTest::newRow("accessibility, no settings program") << true << false;
    }
    void permissionBannerAsksAsTheSheetDoes()
    {
        QFETCH(bool, accessibility);
        QFETCH(bool, settingsInstalled);
        FakePermissionProbes probes;
        FakeProcessLauncher launcher;
        if (settingsInstalled)
            launcher.installed.insert(QStringLiteral("gnome-control-center"),
                                      QStringLiteral("/usr/bin/gnome-control-center"));
        PermissionsModel model(probes);
        PermissionBanner banner(model, probes, launcher);
        banner.show();
        QTRY_VERIFY_WITH_TIMEOUT(!model.isRefreshing(), 20000);
        const MurmoPermission permission = accessibility ? MurmoPermission::accessibility : MurmoPermission::microphone;
        ShellBanner* strip = banner.strip(permission);
        QVERIFY(strip->isVisibleTo(&banner));
        strip->buttons().first()->click();
        QCOMPARE(launcher.starts.size(), settingsInstalled ? 1 : 0);
        QCOMPARE(probes.enableCalls.load(), accessibility ? 1 : 0);
        QCOMPARE(strip->detail(), settingsInstalled ? QString() : MurmoPermissions::settingsHint(permission));
        // Switching the bus on is the grant itself: the strip goes without waiting for a recheck.
        if (accessibility)
            QTRY_VERIFY_WITH_TIMEOUT(!strip->isVisibleTo(&banner), 20000);
    }

    void permissionBannerFollowsTheDesktopWithoutATimer()
    {
        FakePermissionProbes probes;
        FakeProcessLauncher launcher;
        launcher.installed.insert(QStringLiteral("gnome-control-center"),
                                  QStringLiteral("/usr/bin/gnome-control-center"));
        PermissionsModel model(probes);
        PermissionBanner banner(model, probes, launcher);
        banner.show();
        ShellBanner* mic = banner.strip(MurmoPermission::microphone);
        QVERIFY(mic->isVisibleTo(&banner));
        // Shown with a permission missing, nothing wakes the idle program.

        mic->buttons().first()->click();
        QCOMPARE(launcher.starts.size(), 1);
        QVERIFY(mic->isVisibleTo(&banner));

        probes.microphone = true;
        Q_EMIT probes.mayHaveChanged();
        QVERIFY(!mic->isVisibleTo(&banner));
    }

    void fnBannerNeedsAnFnHotkeyAndATakenKey_data()
    {
        QTest::addColumn<bool>("hasFn");
        QTest::addColumn<bool>("hijacked");
        QTest::newRow("no Fn hotkey") << false << true;
        QTest::newRow("Fn hotkey, key free") << true << false;
        QTest::newRow("Fn hotkey, key taken") << true << true;
    }
    void fnBannerNeedsAnFnHotkeyAndATakenKey()
    {
        QFETCH(bool, hasFn);
        QFETCH(bool, hijacked);
        ManualClock clock;
        int reads = 0;
        int fixes = 0;
        FnKeyConflictBanner banner([&] { return hasFn; },
                                   [&] {
                                       ++reads;
                                       return hijacked;
                                   },
                                   [&] { ++fixes; }, clock);
        banner.show();
        QCOMPARE(banner.strip() && banner.strip()->isVisibleTo(&banner), hasFn && hijacked);
        // The desktop's setting is not read when no hotkey could be affected; only a
        // conflict is looked at again.
        QCOMPARE(reads > 0, hasFn);
        QCOMPARE(clock.pendingCount() > 0, hasFn && hijacked);
        if (banner.conflict()) {
            banner.strip()->buttons().first()->click();
            QCOMPARE(fixes, 1);
            hijacked = false;
            clock.advance(2s);
            QVERIFY(!banner.strip()->isVisibleTo(&banner));
        }
    }

    void installWarningNamesWhereTheProgramRuns()
    {
        QTemporaryDir dir;
        const QString installed = dir.path() + QStringLiteral("/bin/murmo");
        const QString download = dir.path() + QStringLiteral("/Downloads/murmo");
        QDir().mkpath(dir.path() + QStringLiteral("/bin"));
        QDir().mkpath(dir.path() + QStringLiteral("/Downloads"));
        QVERIFY(writeFile(installed, "x"));
        QVERIFY(writeFile(download, "x"));
        QVERIFY(QFile::link(installed, dir.path() + QStringLiteral("/bin/murmo-link")));

        QVERIFY(!InstallLocation::warning(installed, installed));
        // The same file reached through a link is the installed program.
        QVERIFY(!InstallLocation::warning(dir.path() + QStringLiteral("/bin/murmo-link"), installed));

        const auto elsewhere = InstallLocation::warning(download, installed);
        QVERIFY(elsewhere);
        QCOMPARE(elsewhere->title, QStringLiteral("这份Murmo不是系统登记的那一份——浏览器里的登录回不到这里。"));
        QVERIFY(elsewhere->detail.contains(QStringLiteral("scripts/run")));
        QVERIFY(elsewhere->detail.endsWith(QStringLiteral("当前位置：") + download));
        QVERIFY(InstallLocation::warning(download, QString()));

        const auto medium = InstallLocation::warning(QStringLiteral("/media/usb/murmo"), installed);
        QCOMPARE(medium->title, QStringLiteral("你正从安装盘里直接运行Murmo——浏览器里的登录回不到这一份。"));
    }

    void installedProgramIsTheSchemeHandler()
    {
        QTemporaryDir dir;
        const QString config = dir.path() + QStringLiteral("/config");
        const QString data = dir.path() + QStringLiteral("/data");
        QDir().mkpath(config);
        QDir().mkpath(data + QStringLiteral("/applications"));
        QVERIFY(writeFile(data + QStringLiteral("/applications/murmo.desktop"),
                          "[Desktop Entry]\nExec=/usr/bin/murmo %u\n"));
        QCOMPARE(InstallLocation::handlerDesktopFile({config}, {data}),
                 data + QStringLiteral("/applications/murmo.desktop"));

        // The user's own choice in mimeapps.list wins over the default name.
        QVERIFY(writeFile(data + QStringLiteral("/applications/murmo-dev.desktop"),
                          "[Desktop Entry]\nName=Murmo\nExec=\"/opt/my murmo/murmo\" --flag %u\n"));
        QVERIFY(writeFile(config + QStringLiteral("/mimeapps.list"),
                          "[Added Associations]\nx-scheme-handler/murmo=murmo.desktop;\n"
                          "[Default Applications]\nx-scheme-handler/murmo=murmo-dev.desktop;murmo.desktop;\n"));
        const QString entry = InstallLocation::handlerDesktopFile({config}, {data});
        QCOMPARE(entry, data + QStringLiteral("/applications/murmo-dev.desktop"));
        QCOMPARE(InstallLocation::handlerProgram(entry), QStringLiteral("/opt/my murmo/murmo"));
        QCOMPARE(InstallLocation::handlerDesktopFile({dir.path() + "/none"}, {dir.path() + "/none"}), QString());
    }

    void onboardingFollowsThePermissions_data()
    {
        QTest::addColumn<bool>("mic");
        QTest::addColumn<bool>("ax");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("relaunchNote");
        QTest::addColumn<bool>("bottomNote");
        QTest::newRow("both") << true << true << "开始使用" << false << false;
        QTest::newRow("microphone only") << true << false << "稍后再说，先进入" << true << true;
        QTest::newRow("accessibility only") << false << true << "稍后再说，先进入" << false << true;
        QTest::newRow("neither") << false << false << "稍后再说，先进入" << true << true;
    }
    void onboardingFollowsThePermissions()
    {
        QFETCH(bool, mic);
        QFETCH(bool, ax);
        QFETCH(QString, button);
        QFETCH(bool, relaunchNote);
        QFETCH(bool, bottomNote);
        FakePermissionProbes probes;
        probes.microphone = mic;
        probes.accessibility = ax;
        PermissionsModel model(probes);
        OnboardingView sheet(model);
        QTRY_VERIFY_WITH_TIMEOUT(!model.isRefreshing(), 20000);
        QCOMPARE(sheet.continueButton()->text(), button);
        QCOMPARE(sheet.relaunchNote()->isVisibleTo(&sheet), relaunchNote);
        QCOMPARE(sheet.bottomNote()->isVisibleTo(&sheet), bottomNote);
        PermissionRow* micRow = sheet.row(MurmoPermission::microphone);
        QCOMPARE(micRow->grantedLabel()->isVisibleTo(micRow), mic);
        QCOMPARE(micRow->grantButton()->isVisibleTo(micRow), !mic);

        int done = 0;
        connect(&sheet, &OnboardingView::done, this, [&] { ++done; });
        sheet.continueButton()->click();
        QCOMPARE(done, 1);
    }

    // A hint that comes under a row once the sheet is up (no settings program opened) is shown whole,
    // and what follows moves down for it instead of being clipped.
    void onboardingHintsShowWhole()
    {
        FakePermissionProbes probes;
        probes.microphone = false;
        probes.accessibility = false;
        PermissionsModel model(probes);
        QWidget window;
        window.resize(780, 560);
        auto* sheet = new OnboardingView(model);
        new SheetOverlay(sheet, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (MurmoPermission perm : MurmoPermissions::allCases())
            sheet->row(perm)->setHint(MurmoPermissions::settingsHint(perm));
        const auto inSheet = [sheet](const QWidget* widget) {
            return QRect(widget->mapTo(sheet, QPoint(0, 0)), widget->size());
        };
        const auto whole = [&] {
            QRect above;
            for (MurmoPermission perm : MurmoPermissions::allCases()) {
                const PermissionRow* row = sheet->row(perm);
                const QLabel* hint = row->hint();
                if (hint->height() < hint->heightForWidth(hint->width()) ||
                    !row->rect().contains(QRect(hint->mapTo(row, QPoint(0, 0)), hint->size())) ||
                    inSheet(row).top() <= above.bottom())
                    return false;
                above = inSheet(row);
            }
            return inSheet(sheet->relaunchNote()).top() > above.bottom() &&
                   sheet->rect().contains(inSheet(sheet->continueButton()));
        };
        QTRY_VERIFY_WITH_TIMEOUT(whole(), 20000);
        const QString output = qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath()) + QStringLiteral("/shell");
        QVERIFY(QDir().mkpath(output) && sheet->grab().save(output + QStringLiteral("/onboarding-hints.png")));
    }

    void onboardingFollowsChangesWhileShown()
    {
        FakePermissionProbes probes;
        PermissionsModel model(probes);
        OnboardingView sheet(model);
        QList<MurmoPermission> asked;
        connect(&sheet, &OnboardingView::requestGrant, this, [&](MurmoPermission perm) { asked << perm; });
        sheet.row(MurmoPermission::accessibility)->grantButton()->click();
        QCOMPARE(asked, QList<MurmoPermission>{MurmoPermission::accessibility});

        sheet.show();
        QTRY_VERIFY_WITH_TIMEOUT(!model.isRefreshing(), 20000);
        probes.accessibility = true;
        Q_EMIT probes.mayHaveChanged();
        QTRY_VERIFY_WITH_TIMEOUT(!sheet.relaunchNote()->isVisibleTo(&sheet), 20000);
        QVERIFY(sheet.row(MurmoPermission::accessibility)->granted());
    }
};

MURMO_TEST(TestShellBanners)
#include "tst_ShellBanners.moc"

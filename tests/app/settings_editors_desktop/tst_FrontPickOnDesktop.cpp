#include "app/settings/editors/RecentForeignApplication.h"
#include "platform/linux/x11/X11Workspace.h"
#include "tests/app/desktop/insertion_x11/FieldHelper.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/TestRegistry.h"

#include <QGuiApplication>
#include <QTest>
#include <QWidget>

#include <memory>

class TestFrontPickOnDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pickIsTheLastOtherApplicationInFront()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        // This program's own window class, as the desktop reports it.
        QWidget settingsWindow;
        settingsWindow.resize(300, 200);
        settingsWindow.show();
        settingsWindow.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&settingsWindow, kWaitMs));
        X11Workspace probe;
        QVERIFY2(probe.isConnected(), "no X display: run under scripts/with-desktop");
        std::optional<RunningApplication> own;
        QTRY_VERIFY_WITH_TIMEOUT((own = probe.frontApplication()).has_value(), kWaitMs);

        X11Workspace workspace(own->bundleId);
        RecentForeignApplication recent(workspace);
        // As the composition root forwards the workspace's news; and what the news found in front.
        QStringList noted;
        workspace.setActiveWindowObserver([&recent, &workspace, &noted] {
            recent.noteActiveWindow();
            noted << workspace.frontApplication().value_or(RunningApplication{}).bundleId;
        });
        // Nothing else has been in front yet.
        QCOMPARE(recent.pick(), std::nullopt);

        FieldHelper editor(QStringLiteral("MurmoEditor"), QStringLiteral("editor"));
        QVERIFY(editor.isReady());
        QVERIFY(editor.focus(QStringLiteral("text")));
        QTRY_VERIFY_WITH_TIMEOUT(editor.isActive(), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(workspace.frontApplication().value_or(RunningApplication{}).bundleId,
                                  QStringLiteral("murmoeditor"), kWaitMs);
        // The news of the editor in front may come after the front has been asked directly.
        QTRY_VERIFY_WITH_TIMEOUT(noted.contains(QStringLiteral("murmoeditor")), kWaitMs);

        settingsWindow.activateWindow();
        settingsWindow.raise();
        QVERIFY(QTest::qWaitForWindowActive(&settingsWindow, kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(workspace.frontApplication().value_or(RunningApplication{}).bundleId, own->bundleId,
                                  kWaitMs);
        QCOMPARE(recent.pick().value_or(RunningApplication{}).bundleId, QStringLiteral("murmoeditor"));
    }
};

MURMO_TEST(TestFrontPickOnDesktop)
#include "tst_FrontPickOnDesktop.moc"

#include "app/controller/AppServices.h"
#include "app/controller/ControllerStartup.h"
#include "app/feedback/QtOverlayScreens.h"
#include "core/net/HttpTransport.h"
#include "platform/linux/LinuxAdapters.h"
#include "tests/app/controller/LoopbackOptions.h"
#include "tests/support/FakeServices.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

// The application as the program assembles it, over the real Linux adapters, with its files in a
// temporary folder and its gateway on loopback.
class TestStartupOnDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void comesUpOverTheLinuxAdapters()
    {
        QTemporaryDir dir;
        FakeGateway gateway;
        HttpTransport transport;
        LinuxAdapters adapters;
        QVERIFY2(adapters.workspace.isConnected(), "needs the headless desktop (scripts/with-desktop)");
        QtOverlayScreens screens;

        const AppServices::Options options = loopbackOptions(dir, gateway, transport);
        AppServices app(adapters.ports(), screens, options);
        ControllerStartup startup({app.state(), app.settings(), app.hotkeys(), app.feedback(), app.lexicon(),
                                   app.ducker(), adapters.workspace, app.overlay(), app.session(), app.gateway()});
        runTask(startup.start());

        QVERIFY(app.hotkeys().isRunning());
        QCOMPARE(app.state().statusLine(), app.state().readyStatusLine());
        QCOMPARE(app.settings().text(SettingKey::gatewayToken), FakeGateway::kDeviceToken);
        QVERIFY(QFile::exists(options.dataDirectory + QStringLiteral("/lexicon.json")));
    }
};

MURMO_TEST(TestStartupOnDesktop)
#include "tst_StartupOnDesktop.moc"

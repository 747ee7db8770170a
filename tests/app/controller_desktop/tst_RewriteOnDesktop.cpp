#include "app/controller/AppServices.h"
#include "app/controller/AskRewriteFlow.h"
#include "app/controller/TextDelivery.h"
#include "app/desktop/SelectedText.h"
#include "app/desktop/TextInserter.h"
#include "app/feedback/QtOverlayScreens.h"
#include "core/net/HttpTransport.h"
#include "platform/linux/LinuxAdapters.h"
#include "tests/app/controller/LoopbackOptions.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/FakeServices.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

// A rewrite over the real desktop: the selection is read from another application's field through
// AT-SPI, and the gateway's rewrite is pasted over it.
class TestRewriteOnDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rewriteReplacesTheSelection()
    {
        QTemporaryDir dir;
        FakeGateway gateway;
        HttpTransport transport;
        LinuxAdapters adapters;
        FakeSecretStore secrets;
        QtOverlayScreens screens;
        QFuture<bool> ready = adapters.accessibility.serviceReady();
        ready.waitForFinished();
        QVERIFY2(adapters.workspace.isConnected() && ready.result(), "needs the headless desktop");

        // The program's time moves when the test says: the user's clipboard comes back only once
        // the rewrite has been pasted.
        ManualClock clock;
        const Ports real = adapters.ports();
        const Ports ports{
            clock,          real.keys,      real.keySynthesizer, real.audioInput,  real.soundOutput, real.outputVolume,
            real.clipboard, real.workspace, real.accessibility,  real.compositing, real.appearance,  real.permissions,
            real.launcher,  secrets,        real.freedMemory};
        const AppServices::Options options = loopbackOptions(dir, gateway, transport);
        AppServices app(ports, screens, options);
        app.settings().setValue(SettingKey::gatewayToken, QStringLiteral("tok"));
        app.settings().setValue(SettingKey::soundFX, false);
        gateway.setReply("POST", QStringLiteral("/v1/asr"),
                         FakeReply::json({{QStringLiteral("text"), QStringLiteral("改成正式一点")}}));
        gateway.setReply("POST", QStringLiteral("/v1/ask"),
                         FakeReply::json({{QStringLiteral("text"), QStringLiteral("会议改到周三，请知悉。")}}));
        TextDelivery delivery(app.state(), app.overlay(), app.inserter(), real.clipboard, real.workspace);
        AskRewriteFlow flow({app.state(), app.settings(), app.personalData(), app.services(), clock, app.overlay(),
                             app.answerPopup(), delivery});

        FieldHelper helper(QStringLiteral("MurmoRewriteTarget"), QStringLiteral("Rewrite target"));
        QVERIFY(helper.isReady());
        const QString original = QStringLiteral("会议改周三");
        QVERIFY(helper.set(QStringLiteral("line"), original));
        QVERIFY(DesktopPorts::bringToFront(adapters.workspace, helper, QStringLiteral("line")));
        QVERIFY(helper.select(QStringLiteral("line"), 0, 5));

        // The selection is read with short time-outs, which a busy desktop can exceed: read until
        // it answers in time.
        const auto selected = [&adapters] {
            return runTask(readSelectedText(&adapters.accessibility)).value.value_or(std::nullopt);
        };
        QTRY_COMPARE_WITH_TIMEOUT(selected(), std::optional<QString>(original), kWaitMs);

        const RecordingScene scene{std::nullopt, std::nullopt, QString(), QStringLiteral("murmorewritetarget")};
        QCoro::Task<void> rewriting =
            flow.rewrite({std::make_shared<const Samples>(16000, 0.2f), nullptr, RecordingPurpose::rewrite(original),
                          scene, app.state().advanceGeneration(), nullptr, std::nullopt});
        // The paste's steps pass on the manual clock as the rewrite waits for them.
        QTRY_VERIFY_WITH_TIMEOUT((clock.advance(TextInserter::waitStep), rewriting.isReady()), kWaitMs);
        runTask(std::move(rewriting));
        QCOMPARE(app.state().statusLine(), QStringLiteral("✓ 已改写并替换"));
        clock.advance(TextInserter::keyUpDelay);
        QTRY_COMPARE_WITH_TIMEOUT(helper.value(QStringLiteral("line")), QStringLiteral("会议改到周三，请知悉。"),
                                  kWaitMs);
        QCOMPARE(app.history().all().size(), 1);
        deleteReleasedObjects();
    }
};

MURMO_TEST(TestRewriteOnDesktop)
#include "tst_RewriteOnDesktop.moc"

#include "app/controller/AppServices.h"
#include "app/controller/DictationController.h"
#include "app/feedback/QtOverlayScreens.h"
#include "app/settings/editors/HotkeyCaptureSession.h"
#include "core/net/HttpTransport.h"
#include "platform/linux/LinuxAdapters.h"
#include "tests/app/controller/LoopbackOptions.h"
#include "tests/app/controller/RecordingLog.h"
#include "tests/app/desktop/hotkeys_x11/XTestKeyboard.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/FakeAudioInput.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/FakeServices.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

const Hotkey altSpace{49, 0x80000, false};
const Hotkey menuAlone{63, 0, true};

// The application over the real Linux adapters, keys typed through XTest, but time on a manual
// clock and a microphone that hears nothing: what is under test is the way from a real key to the
// recording.
struct DesktopRig
{
    QTemporaryDir dir;
    FakeGateway gateway;
    HttpTransport transport;
    LinuxAdapters adapters;
    ManualClock clock;
    FakeSecretStore secrets;
    FakeAudioInput microphone;
    QtOverlayScreens screens;
    std::unique_ptr<AppServices> app;
    std::unique_ptr<DictationController> controller;
    std::unique_ptr<RecordingLog> recordings;
    XTestKeyboard keyboard;

    // What the settings hold before the controller reads them.
    using Seed = std::function<void(Settings&)>;

    DesktopRig(const QString& trigger, const Hotkey& talk)
        : DesktopRig(trigger, [talk](Settings& settings) {
            settings.setHotkey(SettingKey::hkTalk, talk);
            settings.setHotkey(SettingKey::hkTranslate, Hotkey{17, 0x80000, false});
            settings.setHotkey(SettingKey::hkAsk, Hotkey{0, 0x80000, false});
            settings.setHotkey(SettingKey::hkRewrite, Hotkey{15, 0x80000, false});
        })
    {}

    DesktopRig(const QString& trigger, const Seed& seed)
    {
        clock.advance(std::chrono::seconds(10));
        const Ports real = adapters.ports();
        const Ports ports{
            clock,          real.keys,      real.keySynthesizer, microphone,       real.soundOutput, real.outputVolume,
            real.clipboard, real.workspace, real.accessibility,  real.compositing, real.appearance,  real.permissions,
            real.launcher,  secrets,        real.freedMemory};
        const AppServices::Options options = loopbackOptions(dir, gateway, transport);
        app = std::make_unique<AppServices>(ports, screens, options);
        Settings& settings = app->settings();
        seed(settings);
        settings.setValue(SettingKey::recordTrigger, trigger);
        settings.setValue(SettingKey::duckOthers, false);
        controller = std::make_unique<DictationController>(*app, Migrations::FnKeySystem{});
        recordings = std::make_unique<RecordingLog>(app->state());
        controller->installHotkeys();
    }

    ~DesktopRig()
    {
        // The engine's key thread may still hold a call to the wiring; stop it first.
        app->hotkeys().stop();
    }

    bool start() { return app->hotkeys().start(); }

    // A chord key as the user types it: Alt held, the letter tapped.
    void altTap(const char* keysym)
    {
        keyboard.press("Alt_L");
        keyboard.tap(keysym);
        keyboard.release("Alt_L");
    }

    // The key thread applies changed grabs first and then reads the keys that have come in: once
    // it has applied them twice more, it has read every key typed before. Telling the engine once
    // more whether a recording runs asks for the grabs again and changes nothing else.
    bool keysRead()
    {
        HotkeyEngine& engine = app->hotkeys();
        QSignalSpy applied(&engine, &HotkeyEngine::grabsUpdated);
        // Grabs applied before, only not yet reported, must not count.
        QCoreApplication::sendPostedEvents(&engine);
        for (int round = 0; round < 2; ++round) {
            const qsizetype before = applied.count();
            engine.setRecordingActive(app->state().isRecording());
            if (!QTest::qWaitFor([&] { return applied.count() > before; }, kWaitMs))
                return false;
        }
        return true;
    }

    QStringList log() const { return recordings->entries; }
    QString status() const { return app->state().statusLine(); }
    OverlayModel::Phase phase() const { return app->overlay().model()->phase(); }
};

} // namespace

class TestHotkeysOnDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // No window of this program is shown: the engine lets every held key go when the program
    // comes to the front, and a late activation would end a held recording at a random moment.
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }

    void holdToTalk()
    {
        DesktopRig rig(QStringLiteral("hold"), altSpace);
        QVERIFY2(rig.keyboard.isOpen(), "needs the headless desktop (scripts/with-desktop)");
        QVERIFY(rig.start());
        // The server repeats a held key quickly, so the key is held a fraction of a second only.
        rig.keyboard.autoRepeat(50, 20);
        rig.keyboard.press("Alt_L");
        rig.keyboard.press("space");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), QStringList{"start"}, kWaitMs);
        QTest::qWait(300); // held: the server repeats the key meanwhile
        QVERIFY(rig.keysRead());
        QCOMPARE(rig.log(), QStringList{"start"});
        rig.keyboard.release("space");
        rig.keyboard.release("Alt_L");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), (QStringList{"start", "end"}), kWaitMs);
    }

    // The Menu key bounces as it goes down; the recording it starts goes on until it is let go.
    void holdSurvivesABounce()
    {
        DesktopRig rig(QStringLiteral("hold"), menuAlone);
        QVERIFY(rig.start());
        rig.keyboard.press("Menu");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), QStringList{"start"}, kWaitMs);
        rig.keyboard.release("Menu");
        rig.keyboard.press("Menu");
        // No other key can mark the end of the bounce (any key pressed with Menu would break it),
        // and the engine's clock must stand still until the bounce has been read.
        QVERIFY(rig.keysRead());
        QCOMPARE(rig.log().join(u','), QStringLiteral("start"));
        QVERIFY(rig.app->state().isRecording());
        rig.clock.advance(std::chrono::milliseconds(500));
        rig.keyboard.release("Menu");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), (QStringList{"start", "end"}), kWaitMs);
    }

    void toggleIgnoresAutoRepeat()
    {
        DesktopRig rig(QStringLiteral("toggle"), altSpace);
        QVERIFY(rig.start());
        rig.keyboard.autoRepeat(50, 20);
        rig.keyboard.press("Alt_L");
        rig.keyboard.press("space");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), QStringList{"start"}, kWaitMs);
        QTest::qWait(300); // held: the server repeats the key meanwhile
        rig.keyboard.release("space");
        rig.keyboard.release("Alt_L");
        QVERIFY(rig.keysRead());
        QCOMPARE(rig.log(), QStringList{"start"});
        rig.keyboard.press("Alt_L");
        rig.keyboard.tap("space");
        rig.keyboard.release("Alt_L");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), (QStringList{"start", "end"}), kWaitMs);
    }

    void chordTwiceReturnsToDictation()
    {
        DesktopRig rig(QStringLiteral("toggle"), altSpace);
        QVERIFY(rig.start());
        rig.altTap("space");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), QStringList{"start"}, kWaitMs);
        rig.altTap("t");
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("正在聆听…（译成英文）"), kWaitMs);
        rig.altTap("t");
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("正在聆听…"), kWaitMs);
        QCOMPARE(rig.controller->recording().purpose(), RecordingPurpose::dictate());
        QCOMPARE(rig.phase(), OverlayModel::Phase::listening);
    }

    void rewriteWithNothingSelected()
    {
        DesktopRig rig(QStringLiteral("toggle"), altSpace);
        QVERIFY(rig.start());
        rig.altTap("space");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), QStringList{"start"}, kWaitMs);
        rig.altTap("r");
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), Recording::kNoSelection, kWaitMs);
        QCOMPARE(rig.phase(), OverlayModel::Phase::failed);
        rig.clock.advance(std::chrono::milliseconds(3999));
        QCOMPARE(rig.phase(), OverlayModel::Phase::failed);
        rig.clock.advance(std::chrono::milliseconds(1));
        QCOMPARE(rig.phase(), OverlayModel::Phase::listening);
        QVERIFY(rig.app->state().isRecording());
    }

    // openbox, the test desktop's window manager, holds Alt+Space for its window menu, as most
    // Linux desktops do: the ask key a new installation gets must be one it leaves alone.
    void freshInstallationsAskKeyIsWithheld()
    {
        DesktopRig rig(QStringLiteral("toggle"), &Migrations::migrateSettings);
        const std::optional<Hotkey> ask = rig.app->settings().hotkey(SettingKey::hkAsk);
        QVERIFY(ask);
        QCOMPARE(ask->display(), QStringLiteral("Alt+A"));
        QVERIFY(rig.start());
        rig.keyboard.tap("Menu");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), QStringList{"start"}, kWaitMs);
        QVERIFY(rig.keysRead()); // the switch keys' grabs are in place
        QVERIFY(!HotkeyCaptureSession(rig.app->hotkeys()).isHeldElsewhere(*ask));
        rig.altTap("a");
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), QStringLiteral("正在聆听…（提问）"), kWaitMs);
    }

    void escCancels()
    {
        DesktopRig rig(QStringLiteral("toggle"), altSpace);
        QVERIFY(rig.start());
        rig.altTap("space");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), QStringList{"start"}, kWaitMs);
        rig.keyboard.tap("Escape");
        QTRY_COMPARE_WITH_TIMEOUT(rig.log(), (QStringList{"start", "end"}), kWaitMs);
        QCOMPARE(rig.phase(), OverlayModel::Phase::cancelled);
        QVERIFY(rig.app->history().all().isEmpty());
    }
};

MURMO_TEST(TestHotkeysOnDesktop)
#include "tst_HotkeysOnDesktop.moc"

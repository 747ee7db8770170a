#pragma once

#include "app/controller/DictationController.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/app/controller/RecordingLog.h"

#include <QCoreApplication>

namespace WiringKeys {
inline constexpr int keyA = 0;
inline constexpr int keyR = 15;
inline constexpr int keyT = 17;
inline constexpr int keyM = 46;
inline constexpr int space = 49;
inline constexpr int esc = 53;
inline constexpr int leftAlt = 58;
inline constexpr int leftSuper = 55;
inline constexpr int menu = 63;

inline const Hotkey altSpace{space, 0x80000, false};
inline const Hotkey menuAlone{menu, 0, true};
inline const Hotkey altT{keyT, 0x80000, false};
inline const Hotkey altA{keyA, 0x80000, false};
inline const Hotkey altR{keyR, 0x80000, false};
inline const Hotkey altSuperM{keyM, 0x180000, false};
} // namespace WiringKeys

// The application over fakes with the hotkeys wired to the controller: keys go in through the
// fake keyboard, time through the manual clock, and the microphone hears nothing.
struct WiringRig
{
    FakeApp fake;
    AppServices& app;
    bool fnHijacked = true;
    int fnChanges = 0;
    DictationController controller;
    RecordingLog log;

    explicit WiringRig(const QString& trigger = QStringLiteral("toggle"), Hotkey talk = WiringKeys::altSpace)
        : app(fake.build())
        , controller(app, Migrations::FnKeySystem{[this] { return fnHijacked; }, [this] { return ++fnChanges > 0; }})
        , log(app.state())
    {
        Settings& settings = app.settings();
        settings.setValue(SettingKey::recordTrigger, trigger);
        settings.setHotkey(SettingKey::hkTalk, talk);
        settings.setHotkey(SettingKey::hkTranslate, WiringKeys::altT);
        settings.setHotkey(SettingKey::hkAsk, WiringKeys::altA);
        settings.setHotkey(SettingKey::hkRewrite, WiringKeys::altR);
        settings.setHotkey(SettingKey::hkCycle, WiringKeys::altSuperM);
        controller.installHotkeys();
        app.hotkeys().start();
        fake.clock.advance(std::chrono::seconds(10));
    }

    // Lets the posted key work and the selection read run.
    static void settle()
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    bool press(int key)
    {
        const bool swallowed = fake.keys.press(key);
        settle();
        return swallowed;
    }
    bool release(int key)
    {
        const bool swallowed = fake.keys.release(key);
        settle();
        return swallowed;
    }
    void repeat(int key, int times)
    {
        for (int i = 0; i < times; ++i)
            fake.keys.repeat(key);
        settle();
    }
    // The key with Alt held, as the user presses a chord key.
    void altTap(int key)
    {
        fake.keys.press(WiringKeys::leftAlt);
        fake.keys.tap(key);
        fake.keys.release(WiringKeys::leftAlt);
        settle();
    }
    OverlayModel::Phase overlayPhase() { return app.overlay().model()->phase(); }
    const RecordingPurpose& purpose() { return controller.recording().purpose(); }
};

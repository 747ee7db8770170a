#pragma once

#include "app/desktop/HotkeyEngine.h"
#include "tests/support/FakeKeySource.h"
#include "tests/support/ManualClock.h"

#include <QStringList>

#include <utility>

using namespace std::chrono_literals;

inline constexpr int keyA = 0;
inline constexpr int keyT = 17;
inline constexpr int keyK = 40;
inline constexpr int space = 49;
inline constexpr int f5 = 96;
inline constexpr int esc = 53;
inline constexpr int leftShift = 56;
inline constexpr int capsLock = 57;
inline constexpr int leftAlt = 58;
inline constexpr int leftCtrl = 59;
inline constexpr int rightShift = 60;
inline constexpr int menu = 63;

inline const Hotkey altSpace{space, 0x80000, false};
inline const Hotkey ctrlAltChord{leftAlt, 0xC0000, true};
inline const Hotkey menuAlone{menu, 0, true};

inline QString useName(HotkeyUse use)
{
    static const char* names[] = {"talk", "ask", "translate", "rewrite", "cycle"};
    return QString::fromLatin1(names[int(use)]);
}

// An engine on a fake keyboard whose signals write what happened into one log.
struct Rig
{
    // The engine goes first: stopping it releases held hotkeys, whose signals write the log.
    QStringList log;
    HotkeySet hotkeys;
    FakeKeySource keys;
    ManualClock clock;
    HotkeyEngine engine{keys, clock};

    Rig()
    {
        clock.advance(10s);
        QObject::connect(&engine, &HotkeyEngine::cancelPressed, [this] { log << QStringLiteral("cancel"); });
        QObject::connect(&engine, &HotkeyEngine::pressed, [this](HotkeyUse use) { log << useName(use) + " down"; });
        QObject::connect(&engine, &HotkeyEngine::released, [this](HotkeyUse use) { log << useName(use) + " up"; });
        QObject::connect(&engine, &HotkeyEngine::captured, [this](HotkeyUse use, const Hotkey& hotkey) {
            log << QStringLiteral("captured %1 %2 %3 %4")
                       .arg(useName(use))
                       .arg(hotkey.keyCode)
                       .arg(hotkey.modifiers, 0, 16)
                       .arg(hotkey.isModifierOnly ? QStringLiteral("modifier-only") : QStringLiteral("key"));
        });
    }

    // Sets or clears one hotkey; the engine is handed the whole set, as the settings do.
    void bind(HotkeyUse use, std::optional<Hotkey> hotkey)
    {
        if (hotkey)
            hotkeys[use] = *hotkey;
        else
            hotkeys.erase(use);
        engine.setHotkeys(hotkeys);
    }

    void startDictation()
    {
        engine.setRecordingActive(true);
        engine.setSwitchDeadline(clock.now() + 1000ms);
    }

    QStringList take() { return std::exchange(log, {}); }
};

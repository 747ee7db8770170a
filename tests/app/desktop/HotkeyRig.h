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

// An engine on a fake keyboard whose callbacks write what happened into one log.
struct Rig
{
    // The engine goes first: stopping it releases held bindings, whose callbacks write the log.
    QStringList log;
    FakeKeySource keys;
    ManualClock clock;
    HotkeyEngine engine{keys, clock};

    Rig()
    {
        clock.advance(10s);
        QObject::connect(&engine, &HotkeyEngine::cancelPressed, [this] { log << QStringLiteral("cancel"); });
        QObject::connect(&engine, &HotkeyEngine::switchPressed, [this](HotkeyEngine::SwitchAction action) {
            static const char* names[] = {"dictate", "ask", "translate", "rewrite"};
            log << QStringLiteral("switch %1").arg(QLatin1StringView(names[int(action)]));
        });
        QObject::connect(&engine, &HotkeyEngine::captured, [this](const QString& id, const Hotkey& hotkey) {
            log << QStringLiteral("captured %1 %2 %3 %4")
                       .arg(id)
                       .arg(hotkey.keyCode)
                       .arg(hotkey.modifiers, 0, 16)
                       .arg(hotkey.isModifierOnly ? QStringLiteral("modifier-only") : QStringLiteral("key"));
        });
    }

    void bind(const QString& id, std::optional<Hotkey> hotkey)
    {
        engine.installBinding(id, HotkeyEngine::Binding{hotkey, [this, id] { log << id + QStringLiteral(" down"); },
                                                        [this, id] { log << id + QStringLiteral(" up"); }});
    }

    void startDictation()
    {
        engine.setRecordingActive(true);
        engine.setSwitchDeadline(clock.now() + 1000ms);
    }

    QStringList take() { return std::exchange(log, {}); }
};

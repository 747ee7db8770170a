#pragma once

#include <QtGlobal>

// Key events made up by the program and delivered to whatever window has the keyboard focus.
// Key codes and modifier bits are the program's own fixed values (the ones hotkey settings
// store), not the window system's.
class KeySynthesizer
{
public:
    static constexpr quint32 keyV = 9;
    static constexpr quint64 shiftFlag = 0x20000;
    static constexpr quint64 controlFlag = 0x40000;
    static constexpr quint64 optionFlag = 0x80000;
    static constexpr quint64 commandFlag = 0x100000;

    virtual ~KeySynthesizer() = default;

    // Whether events can be synthesised at all on this desktop.
    virtual bool isAvailable() const = 0;

    // Presses (down) or releases (!down) keyCode with exactly the modifiers in modifierFlags held.
    // A press first lets go of any modifier the user is still holding, so that the receiving
    // application sees only the chord asked for; the release presses those the user still holds
    // again. A press is refused while the user holds a key
    // other than a modifier or keyCode itself (see isKeyHeld): the look and the press reach the
    // window system with no other program's input between them, so a key going down at that
    // moment cannot take the press into its grab. Returns false when nothing was posted.
    virtual bool postKey(quint32 keyCode, quint64 modifierFlags, bool down) = 0;

    // Whether the user is holding a key other than a modifier or the V key (a press of V lets it
    // go first). While a key the program watches as a hotkey is down, the window system sends
    // every key to the program itself, so a synthesised key would not reach the window in front.
    virtual bool isKeyHeld() const = 0;
};

#include "platform/linux/x11/XTestKeySynthesizer.h"

#include "platform/linux/x11/XErrorTrap.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <QList>

#include <algorithm>
#include <array>
#include <utility>

namespace {

// The program's key codes by key position, for the keys it synthesises, with the evdev key code
// of that position for layouts that have no Latin letter there.
struct KeyPosition
{
    quint32 keyCode;
    KeySym keysym;
    unsigned int evdevKeycode;
};
constexpr std::array<KeyPosition, 1> positions{{{KeySynthesizer::keyV, XK_v, 55}}};

struct ModifierKey
{
    quint64 flag;
    KeySym keysym;
};
constexpr std::array<ModifierKey, 4> modifierKeys{{{KeySynthesizer::controlFlag, XK_Control_L},
                                                   {KeySynthesizer::shiftFlag, XK_Shift_L},
                                                   {KeySynthesizer::optionFlag, XK_Alt_L},
                                                   {KeySynthesizer::commandFlag, XK_Super_L}}};

} // namespace

XTestKeySynthesizer::XTestKeySynthesizer(const QString& displayName)
    : m_displayName(displayName.toLocal8Bit())
{}

bool XTestKeySynthesizer::isAvailable() const
{
    open();
    return m_available;
}

void XTestKeySynthesizer::open() const
{
    if (std::exchange(m_opened, true))
        return;
    XErrorTrap::install();
    m_display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (!m_display)
        return;
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    int opcode = 0;
    const bool xtest = XTestQueryExtension(m_display, &event, &error, &major, &minor);
    bool xinput2 = XQueryExtension(m_display, "XInputExtension", &opcode, &event, &error);
    if (xinput2) {
        int xiMajor = 2;
        int xiMinor = 0;
        xinput2 = XIQueryVersion(m_display, &xiMajor, &xiMinor) == Success;
    }
    m_available = xtest && xinput2;
}

XTestKeySynthesizer::~XTestKeySynthesizer()
{
    if (!m_display)
        return;
    // The server keeps a synthesised key down after its connection closes; one whose release never
    // came (the program ended first) would repeat into the user's window and swallow the next
    // press of that key.
    for (KeyCode code : std::as_const(m_pressed))
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    XSync(m_display, False);
    XCloseDisplay(m_display);
}

void XTestKeySynthesizer::releaseHeldKeys(unsigned char key)
{
    char keys[32] = {};
    readKeysDown(keys, true);
    const auto isDown = [&keys](KeyCode code) { return code != 0 && (keys[code / 8] & (1 << (code % 8))); };
    // A press of a key that is already down is lost as a repeat, so the key goes up first.
    if (isDown(key))
        XTestFakeKeyEvent(m_display, key, False, CurrentTime);
    XModifierKeymap* map = XGetModifierMapping(m_display);
    if (!map)
        return;
    for (int i = 0; i < 8 * map->max_keypermod; ++i) {
        if (isDown(map->modifiermap[i]))
            XTestFakeKeyEvent(m_display, map->modifiermap[i], False, CurrentTime);
    }
    XFreeModifiermap(map);
}

void XTestKeySynthesizer::readKeysDown(char (&keys)[32], bool withModifiers) const
{
    XQueryKeymap(m_display, keys);
    if (withModifiers)
        return;
    XModifierKeymap* map = XGetModifierMapping(m_display);
    if (!map)
        return;
    for (int i = 0; i < 8 * map->max_keypermod; ++i) {
        const KeyCode code = map->modifiermap[i];
        if (code != 0)
            keys[code / 8] &= char(~(1 << (code % 8)));
    }
    XFreeModifiermap(map);
}

bool XTestKeySynthesizer::isKeyHeld() const
{
    if (!isAvailable())
        return false;
    char keys[32] = {};
    readKeysDown(keys, false);
    return std::any_of(std::cbegin(keys), std::cend(keys), [](char bits) { return bits != 0; });
}

bool XTestKeySynthesizer::postKey(quint32 keyCode, quint64 modifierFlags, bool down)
{
    if (!isAvailable())
        return false;
    const auto position = std::find_if(positions.cbegin(), positions.cend(),
                                       [keyCode](const KeyPosition& p) { return p.keyCode == keyCode; });
    if (position == positions.cend())
        return false;
    KeyCode code = XKeysymToKeycode(m_display, position->keysym);
    if (code == 0)
        code = KeyCode(position->evdevKeycode);

    QList<KeyCode> modifiers;
    for (const ModifierKey& modifier : modifierKeys) {
        if (modifierFlags & modifier.flag) {
            const KeyCode modifierCode = XKeysymToKeycode(m_display, modifier.keysym);
            if (modifierCode == 0)
                return false;
            modifiers.append(modifierCode);
        }
    }

    if (down) {
        // No other program's requests are handled between the look at the keys and the press.
        XGrabServer(m_display);
        char keys[32] = {};
        readKeysDown(keys, false);
        keys[code / 8] &= char(~(1 << (code % 8)));
        if (std::any_of(std::cbegin(keys), std::cend(keys), [](char bits) { return bits != 0; })) {
            XUngrabServer(m_display);
            XSync(m_display, False);
            return false;
        }
        releaseHeldKeys(code);
        for (KeyCode modifier : modifiers)
            XTestFakeKeyEvent(m_display, modifier, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XUngrabServer(m_display);
        m_pressed.append(modifiers);
        m_pressed.append(code);
    } else {
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
            XTestFakeKeyEvent(m_display, *it, False, CurrentTime);
        m_pressed.removeIf([&](KeyCode pressed) { return pressed == code || modifiers.contains(pressed); });
    }
    XSync(m_display, False);
    return true;
}

#include "platform/linux/x11/XTestKeySynthesizer.h"

#include "platform/LateLibrary.h"
#include "platform/linux/x11/XErrorTrap.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <QList>

#include <algorithm>
#include <array>
#include <utility>

struct XTestCalls
{
    decltype(&XTestQueryExtension) queryExtension;
    decltype(&XTestFakeKeyEvent) fakeKeyEvent;
    decltype(&XIQueryVersion) queryVersion;
    decltype(&XISelectEvents) selectEvents;
};

namespace {

// Null without the libraries.
const XTestCalls* xtestCalls()
{
    return LateLibrary::once<XTestCalls>("synthesise keys", [](LateLibrary& library, XTestCalls& x) {
        library.open("libXtst.so.6");
        library.bind(x.queryExtension, "XTestQueryExtension");
        library.bind(x.fakeKeyEvent, "XTestFakeKeyEvent");
        library.open("libXi.so.6");
        library.bind(x.queryVersion, "XIQueryVersion");
        library.bind(x.selectEvents, "XISelectEvents");
    });
}

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

// The keyboard as the server has it at one moment: the keys down, and which keys are modifiers.
struct XTestKeyboardState
{
    char down[32] = {};
    QList<KeyCode> modifiers;

    bool isDown(KeyCode code) const { return code != 0 && (down[code / 8] & (1 << (code % 8))); }

    // Whether a key other than a modifier, and other than except, is down.
    bool holdsKeyBesides(KeyCode except) const
    {
        char others[32];
        std::copy(std::cbegin(down), std::cend(down), std::begin(others));
        for (KeyCode code : modifiers)
            others[code / 8] &= char(~(1 << (code % 8)));
        if (except != 0)
            others[except / 8] &= char(~(1 << (except % 8)));
        return std::any_of(std::cbegin(others), std::cend(others), [](char bits) { return bits != 0; });
    }
};

XTestKeyboardState readXTestKeyboard(Display* display)
{
    XTestKeyboardState state;
    XQueryKeymap(display, state.down);
    if (XModifierKeymap* map = XGetModifierMapping(display)) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            if (map->modifiermap[i] != 0)
                state.modifiers.append(map->modifiermap[i]);
        }
        XFreeModifiermap(map);
    }
    return state;
}

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
    m_x = xtestCalls();
    if (!m_x)
        return;
    XErrorTrap::install();
    m_display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (!m_display)
        return;
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    const bool xtest = m_x->queryExtension(m_display, &event, &error, &major, &minor);
    bool xinput2 = XQueryExtension(m_display, "XInputExtension", &m_xinputOpcode, &event, &error);
    if (xinput2) {
        // Raw key events reach a client during other clients' grabs only from XInput 2.1 on.
        int xiMajor = 2;
        int xiMinor = 2;
        xinput2 = m_x->queryVersion(m_display, &xiMajor, &xiMinor) == Success;
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
        m_x->fakeKeyEvent(m_display, code, False, CurrentTime);
    XSync(m_display, False);
    XCloseDisplay(m_display);
}

void XTestKeySynthesizer::watchKeys(bool watch)
{
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (watch) {
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
    }
    XIEventMask mask{XIAllDevices, int(sizeof(bits)), bits};
    m_x->selectEvents(m_display, DefaultRootWindow(m_display), &mask, 1);
}

void XTestKeySynthesizer::takeKeyEvents()
{
    // What happened to the keys while the chord was down: the server no longer sees a key the user
    // holds once this synthesiser let go of it, so only the devices' own events tell. Among them
    // are this synthesiser's own, which the handback knows to expect.
    XSync(m_display, False);
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        XGenericEventCookie& cookie = event.xcookie;
        if (cookie.type != GenericEvent || cookie.extension != m_xinputOpcode || !XGetEventData(m_display, &cookie))
            continue;
        // Each comes once from its device and once again through the master keyboard it drives.
        const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
        const bool fromItsDevice = raw->deviceid == raw->sourceid && !(raw->flags & XIKeyRepeat);
        if ((cookie.evtype == XI_RawKeyPress || cookie.evtype == XI_RawKeyRelease) && fromItsDevice)
            m_handback.seen(raw->detail, cookie.evtype == XI_RawKeyPress);
        XFreeEventData(m_display, &cookie);
    }
}

bool XTestKeySynthesizer::isKeyHeld() const
{
    if (!isAvailable())
        return false;
    // The paste key down alone does not stop a paste: its press lets it go first. It is left down
    // by a program that ended between its paste and the key-up, and never comes up by itself.
    const KeyPosition& paste = positions.front();
    KeyCode code = XKeysymToKeycode(m_display, paste.keysym);
    if (code == 0)
        code = KeyCode(paste.evdevKeycode);
    return readXTestKeyboard(m_display).holdsKeyBesides(code);
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
        const XTestKeyboardState keyboard = readXTestKeyboard(m_display);
        if (keyboard.holdsKeyBesides(code)) {
            XUngrabServer(m_display);
            XSync(m_display, False);
            return false;
        }
        // A press of a key that is already down is lost as a repeat, so the key goes up first;
        // the user's modifiers go up so that the application sees only the chord asked for.
        if (keyboard.isDown(code))
            m_x->fakeKeyEvent(m_display, code, False, CurrentTime);
        QList<int> letGo;
        for (KeyCode modifier : keyboard.modifiers) {
            if (!keyboard.isDown(modifier) || letGo.contains(modifier))
                continue;
            m_x->fakeKeyEvent(m_display, modifier, False, CurrentTime);
            if (!m_pressed.contains(modifier))
                letGo.append(modifier);
        }
        for (KeyCode modifier : modifiers) {
            // One pressed again for the user stays down on the XTEST device once the user let go
            // of it on the keyboard, and a modifier's press over it would be dropped as a repeat.
            if (!keyboard.isDown(modifier))
                m_x->fakeKeyEvent(m_display, modifier, False, CurrentTime);
            m_x->fakeKeyEvent(m_display, modifier, True, CurrentTime);
        }
        m_x->fakeKeyEvent(m_display, code, True, CurrentTime);
        // From here on, not before: the keys this press let go of are not the user's doing.
        m_handback.begin(letGo);
        if (m_handback.isFollowing())
            watchKeys(true);
        XUngrabServer(m_display);
        m_pressed.append(modifiers);
        m_pressed.append(code);
    } else {
        const bool following = m_handback.isFollowing();
        m_x->fakeKeyEvent(m_display, code, False, CurrentTime);
        for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it) {
            m_x->fakeKeyEvent(m_display, *it, False, CurrentTime);
            m_handback.own(*it, false);
        }
        m_pressed.removeIf([&](KeyCode pressed) { return pressed == code || modifiers.contains(pressed); });
        if (following) {
            // Down again as they were, for the keys the user goes on typing with them: those the
            // user still holds by the latest events, right before they go down.
            takeKeyEvents();
            for (int letGo : m_handback.pressAgain())
                m_x->fakeKeyEvent(m_display, KeyCode(letGo), True, CurrentTime);
            // A key the user let go of between that look and its press again (or since) would
            // stay down: its release is passed on.
            takeKeyEvents();
            watchKeys(false);
            for (int letGo : m_handback.letGoAgain())
                m_x->fakeKeyEvent(m_display, KeyCode(letGo), False, CurrentTime);
            // What the watch brought after its last look is no part of the next chord's count.
            XSync(m_display, True);
        }
    }
    XSync(m_display, False);
    return true;
}

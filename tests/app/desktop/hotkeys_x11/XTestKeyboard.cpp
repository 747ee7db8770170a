#include "XTestKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <stdexcept>
#include <string>

namespace {
Display* display(void* handle)
{
    return static_cast<Display*>(handle);
}
} // namespace

XTestKeyboard::XTestKeyboard(const char* displayName)
    : m_display(XOpenDisplay(displayName))
{
    // A test machine under load may hold a synthesised key long enough for the server to start
    // repeating it; the tests count presses, so the throw-away desktop gets no auto-repeat.
    if (m_display) {
        XAutoRepeatOff(display(m_display));
        XSync(display(m_display), False);
    }
}

void XTestKeyboard::autoRepeat(unsigned delayMs, unsigned intervalMs)
{
    XAutoRepeatOn(display(m_display));
    XkbSetAutoRepeatRate(display(m_display), XkbUseCoreKbd, delayMs, intervalMs);
    XSync(display(m_display), False);
}

XTestKeyboard::~XTestKeyboard()
{
    if (!m_display)
        return;
    Display* d = display(m_display);
    for (const int code : m_down)
        XTestFakeKeyEvent(d, unsigned(code), False, CurrentTime);
    // The next test on this server expects the desktop as it came: no auto-repeat.
    XAutoRepeatOff(d);
    XSync(d, False);
    XCloseDisplay(d);
}

int XTestKeyboard::keyCode(const char* keysym) const
{
    const KeySym symbol = XStringToKeysym(keysym);
    const int code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display(m_display), symbol);
    if (code == 0)
        throw std::invalid_argument(std::string("no key for ") + keysym);
    return code;
}

void XTestKeyboard::press(const char* keysym)
{
    const int code = keyCode(keysym);
    m_down.insert(code);
    XTestFakeKeyEvent(display(m_display), unsigned(code), True, CurrentTime);
    XSync(display(m_display), False);
}

void XTestKeyboard::release(const char* keysym)
{
    const int code = keyCode(keysym);
    m_down.erase(code);
    XTestFakeKeyEvent(display(m_display), unsigned(code), False, CurrentTime);
    XSync(display(m_display), False);
}

void XTestKeyboard::tap(const char* keysym)
{
    press(keysym);
    release(keysym);
}

void XTestKeyboard::grabWithAlt(const char* keysym)
{
    Display* d = display(m_display);
    XGrabKey(d, keyCode(keysym), Mod1Mask, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
}

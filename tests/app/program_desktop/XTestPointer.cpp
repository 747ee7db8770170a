#include "tests/app/program_desktop/XTestPointer.h"

#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

Display* display(void* handle)
{
    return static_cast<Display*>(handle);
}

constexpr unsigned kLeftButton = 1;

} // namespace

XTestPointer::XTestPointer(const char* displayName)
    : m_display(XOpenDisplay(displayName))
{}

XTestPointer::~XTestPointer()
{
    if (!m_display)
        return;
    // A button left down (a test that failed half-way) would drag in the next test.
    if (m_down)
        XTestFakeButtonEvent(display(m_display), kLeftButton, False, CurrentTime);
    XSync(display(m_display), False);
    XCloseDisplay(display(m_display));
}

void XTestPointer::click(QPoint at)
{
    Display* d = display(m_display);
    XTestFakeMotionEvent(d, -1, at.x(), at.y(), CurrentTime);
    XSync(d, False);
    // The window under the pointer sees it arrive before the press, as with a hand on a mouse.
    QTest::qWait(50);
    XTestFakeButtonEvent(d, kLeftButton, True, CurrentTime);
    m_down = true;
    XSync(d, False);
    QTest::qWait(80);
    XTestFakeButtonEvent(d, kLeftButton, False, CurrentTime);
    m_down = false;
    XSync(d, False);
}

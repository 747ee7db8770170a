#include "tests/app/launch_desktop/X11Windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace {

// The property's items, or nothing; format 32 items arrive as longs whatever their type.
std::vector<unsigned long> longsOf(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format, &count, &remaining,
                           &data) != Success)
        return {};
    std::vector<unsigned long> items;
    if (data && format == 32) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        items.assign(values, values + count);
    }
    if (data)
        XFree(data);
    return items;
}

QString utf8Of(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actualType, &format, &count, &remaining,
                           &data) != Success)
        return {};
    QString text;
    if (data && format == 8)
        text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(count));
    if (data)
        XFree(data);
    return text;
}

// A window may go between listing it and reading it; that is no reason to end the test.
int ignoreError(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

X11Windows::X11Windows()
    : m_display(XOpenDisplay(nullptr))
{
    XSetErrorHandler(ignoreError);
}

X11Windows::~X11Windows()
{
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned long X11Windows::atom(const char* name) const
{
    return XInternAtom(m_display, name, False);
}

unsigned long X11Windows::mappedWindow(qint64 pid, const QString& title) const
{
    if (!m_display)
        return 0;
    const Window root = DefaultRootWindow(m_display);
    for (const unsigned long window : longsOf(m_display, root, atom("_NET_CLIENT_LIST"), XA_WINDOW)) {
        const std::vector<unsigned long> pids = longsOf(m_display, window, atom("_NET_WM_PID"), XA_CARDINAL);
        if (pids.empty() || qint64(pids.front()) != pid)
            continue;
        if (utf8Of(m_display, window, atom("_NET_WM_NAME"), atom("UTF8_STRING")) != title)
            continue;
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(m_display, window, &attributes) && attributes.map_state == IsViewable)
            return window;
    }
    return 0;
}

void X11Windows::close(unsigned long window) const
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(atom("WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, window, False, NoEventMask, &event);
    XFlush(m_display);
}

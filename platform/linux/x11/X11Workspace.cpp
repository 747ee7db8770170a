#include "platform/linux/x11/X11Workspace.h"

#include "platform/linux/x11/XErrorTrap.h"

#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>

namespace {

// One property of a window as a list of 32-bit items (which Xlib hands out as longs).
QList<unsigned long> longProperty(Display* display, Window window, Atom property, Atom type)
{
    QList<unsigned long> values;
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &actualFormat, &count,
                           &remaining, &data) == Success &&
        data && actualFormat == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        values.reserve(qsizetype(count));
        for (unsigned long i = 0; i < count; ++i)
            values.append(items[i]);
    }
    if (data)
        XFree(data);
    return values;
}

} // namespace

X11Workspace::X11Workspace(const QString& ownBundleId, const QString& displayName)
    : m_ownBundleId(ownBundleId)
    , m_displayName(displayName.toLocal8Bit())
{
    XErrorTrap::install();
}

X11Workspace::~X11Workspace()
{
    m_notifier.reset();
    if (m_watchDisplay)
        XCloseDisplay(m_watchDisplay);
    if (m_display)
        XCloseDisplay(m_display);
}

Display* X11Workspace::display()
{
    // Opened on first use: nothing at start-up asks the window manager anything.
    if (!m_display && !m_displayTried) {
        m_displayTried = true;
        m_display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
        if (m_display)
            m_root = DefaultRootWindow(m_display);
    }
    return m_display;
}

unsigned long X11Workspace::atom(const char* name)
{
    return XInternAtom(m_display, name, False);
}

bool X11Workspace::supports(const char* atomName)
{
    return longProperty(m_display, m_root, atom("_NET_SUPPORTED"), XA_ATOM).contains(atom(atomName));
}

unsigned long X11Workspace::activeWindow()
{
    const QList<unsigned long> active = longProperty(m_display, m_root, atom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
    if (!active.isEmpty())
        return active.first();
    // No window manager keeps _NET_ACTIVE_WINDOW: the focus window, or the top-level above it
    // that carries a class.
    Window focus = None;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    Window current = focus;
    while (current != None && current != PointerRoot && current != m_root) {
        XClassHint hint{nullptr, nullptr};
        if (XGetClassHint(m_display, current, &hint)) {
            XFree(hint.res_name);
            XFree(hint.res_class);
            return current;
        }
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, current, &root, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        current = parent;
    }
    return None;
}

QList<unsigned long> X11Workspace::clientWindows()
{
    QList<unsigned long> windows = longProperty(m_display, m_root, atom("_NET_CLIENT_LIST_STACKING"), XA_WINDOW);
    if (windows.isEmpty())
        windows = longProperty(m_display, m_root, atom("_NET_CLIENT_LIST"), XA_WINDOW);
    if (windows.isEmpty()) {
        // Without a window manager the root's children are the top-levels, bottom to top.
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(m_display, m_root, &root, &parent, &children, &count) && children) {
            for (unsigned int i = 0; i < count; ++i)
                windows.append(children[i]);
        }
        if (children)
            XFree(children);
    }
    std::reverse(windows.begin(), windows.end());
    return windows;
}

std::optional<RunningApplication> X11Workspace::applicationOf(unsigned long window)
{
    if (window == None)
        return std::nullopt;
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(m_display, window, &hint))
        return std::nullopt;
    const QString windowClass = QString::fromLocal8Bit(hint.res_class ? hint.res_class : "");
    XFree(hint.res_name);
    XFree(hint.res_class);
    if (windowClass.isEmpty())
        return std::nullopt;

    RunningApplication application;
    application.bundleId = windowClass.toLower();
    application.window = window;
    const QList<unsigned long> pid = longProperty(m_display, window, atom("_NET_WM_PID"), XA_CARDINAL);
    application.pid = pid.isEmpty() ? 0 : qint32(pid.first());
    application.name = displayNameFor(application.bundleId, windowClass);
    return application;
}

QString X11Workspace::displayNameFor(const QString& bundleId, const QString& windowClass)
{
    const auto cached = m_desktopNames.constFind(bundleId);
    if (cached != m_desktopNames.constEnd())
        return *cached;
    QString name = windowClass;
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, bundleId + ".desktop");
    QFile file(path);
    if (!path.isEmpty() && file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        bool inEntry = false;
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            if (line.startsWith(QLatin1Char('['))) {
                inEntry = line == QLatin1String("[Desktop Entry]");
                continue;
            }
            if (inEntry && line.startsWith(QLatin1String("Name="))) {
                const QString value = line.mid(5).trimmed();
                if (!value.isEmpty())
                    name = value;
                break;
            }
        }
    }
    m_desktopNames.insert(bundleId, name);
    return name;
}

std::optional<RunningApplication> X11Workspace::frontApplication()
{
    if (!display())
        return std::nullopt;
    return applicationOf(activeWindow());
}

QList<RunningApplication> X11Workspace::runningApplications(const QString& bundleId)
{
    QList<RunningApplication> found;
    if (!display())
        return found;
    const QString wanted = bundleId.toLower();
    for (unsigned long window : clientWindows()) {
        std::optional<RunningApplication> application = applicationOf(window);
        if (!application || application->bundleId != wanted)
            continue;
        const bool known = std::any_of(found.cbegin(), found.cend(), [&](const RunningApplication& a) {
            return a.pid != 0 && a.pid == application->pid;
        });
        if (!known)
            found.append(*application);
    }
    return found;
}

bool X11Workspace::isActive(const RunningApplication& application)
{
    const std::optional<RunningApplication> front = frontApplication();
    if (!front || front->bundleId != application.bundleId)
        return false;
    if (application.pid != 0 ? front->pid != application.pid : front->window != application.window)
        return false;
    // A window the window manager does not manage (such as our own floating card, clicked) can
    // take the keyboard while the manager still names the application's window as the active
    // one; keys sent then would land in that window.
    return holdsInputFocus(front->window);
}

bool X11Workspace::holdsInputFocus(unsigned long window)
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    Window current = focus;
    while (current != None && current != PointerRoot && current != m_root) {
        if (current == window)
            return true;
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, current, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        current = parent;
    }
    return false;
}

void X11Workspace::activate(const RunningApplication& application)
{
    if (!display() || application.window == 0)
        return;
    if (supports("_NET_ACTIVE_WINDOW")) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = application.window;
        event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        // Source 2 (a pager): the user asked for it, so focus-stealing prevention lets it through.
        event.xclient.data.l[0] = 2;
        event.xclient.data.l[1] = CurrentTime;
        event.xclient.data.l[2] = 0;
        XSendEvent(m_display, m_root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else {
        XMapRaised(m_display, application.window);
        XSetInputFocus(m_display, application.window, RevertToParent, CurrentTime);
    }
    XFlush(m_display);
}

std::optional<QString> X11Workspace::titleOf(unsigned long window)
{
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, window, atom("_NET_WM_NAME"), 0, 65536, False, atom("UTF8_STRING"), &actualType,
                           &actualFormat, &count, &remaining, &data) == Success &&
        data && actualFormat == 8) {
        const QString title = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(count));
        XFree(data);
        return title;
    }
    if (data)
        XFree(data);

    XTextProperty property{};
    if (!XGetWMName(m_display, window, &property) || !property.value)
        return std::nullopt;
    std::optional<QString> title;
    char** list = nullptr;
    int items = 0;
    if (Xutf8TextPropertyToTextList(m_display, &property, &list, &items) >= Success && list && items > 0)
        title = QString::fromUtf8(list[0]);
    if (list)
        XFreeStringList(list);
    XFree(property.value);
    return title;
}

std::optional<QString> X11Workspace::windowTitle(qint32 pid)
{
    if (!display() || pid <= 0)
        return std::nullopt;
    const std::optional<RunningApplication> front = frontApplication();
    if (front && front->pid == pid)
        return titleOf(front->window);
    for (unsigned long window : clientWindows()) {
        const QList<unsigned long> owner = longProperty(m_display, window, atom("_NET_WM_PID"), XA_CARDINAL);
        if (!owner.isEmpty() && qint32(owner.first()) == pid)
            return titleOf(window);
    }
    return std::nullopt;
}

void X11Workspace::setActiveWindowObserver(std::function<void()> observer)
{
    m_activeWindowObserver = std::move(observer);
    if (!display() || m_notifier)
        return;
    // The root's property changes are watched on a connection of their own: any request on a
    // connection reads whatever events have arrived into Xlib's queue, where the socket notifier
    // no longer sees them, so on the shared connection every query made between two wake-ups
    // could swallow a change. Nothing but the watch ever reads from this one.
    m_watchDisplay = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (!m_watchDisplay)
        return;
    m_activeWindowAtom = XInternAtom(m_watchDisplay, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(m_watchDisplay, DefaultRootWindow(m_watchDisplay), PropertyChangeMask);
    XFlush(m_watchDisplay);
    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(m_watchDisplay), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { drainEvents(); });
}

void X11Workspace::drainEvents()
{
    bool changed = false;
    // XPending reads what the socket holds, so the notifier wakes again only for new events.
    while (XPending(m_watchDisplay) > 0) {
        XEvent event;
        XNextEvent(m_watchDisplay, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == m_activeWindowAtom)
            changed = true;
    }
    if (changed && m_activeWindowObserver)
        m_activeWindowObserver();
}

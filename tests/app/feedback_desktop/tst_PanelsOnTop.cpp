#include "app/desktop/TextInserter.h"
#include "app/feedback/AnswerPanel.h"
#include "app/feedback/AnswerPopup.h"
#include "app/feedback/OverlayPanel.h"
#include "app/feedback/QtOverlayScreens.h"
#include "app/feedback/RecordingOverlay.h"
#include "platform/SystemClock.h"
#include "platform/linux/X11Compositing.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/FakeAccessibility.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QTest>
#include <QWindow>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <functional>
#include <memory>

namespace {

// Waits for the desktop's asynchronous answers.
bool settles(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, kWaitMs);
}

// Looks at the screen through a connection of its own, the way another client would see it.
class DesktopView
{
public:
    DesktopView()
        : m_display(XOpenDisplay(nullptr))
    {}
    ~DesktopView()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    DesktopView(const DesktopView&) = delete;
    DesktopView& operator=(const DesktopView&) = delete;

    bool connected() const { return m_display != nullptr; }
    Window root() const { return DefaultRootWindow(m_display); }

    // The child of the root that holds window: its frame when the window manager framed it.
    Window topLevelOf(Window window) const
    {
        for (;;) {
            Window rootReturn = None;
            Window parent = None;
            Window* children = nullptr;
            unsigned count = 0;
            if (!XQueryTree(m_display, window, &rootReturn, &parent, &children, &count))
                return None;
            if (children)
                XFree(children);
            if (parent == rootReturn || parent == None)
                return window;
            window = parent;
        }
    }

    // Whether a's top-level window lies above b's in the stacking order.
    bool isAbove(Window a, Window b) const
    {
        XSync(m_display, False);
        const Window topA = topLevelOf(a);
        const Window topB = topLevelOf(b);
        Window rootReturn = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, root(), &rootReturn, &parent, &children, &count))
            return false;
        int indexA = -1;
        int indexB = -1;
        for (unsigned i = 0; i < count; ++i) { // bottom to top
            if (children[i] == topA)
                indexA = int(i);
            if (children[i] == topB)
                indexB = int(i);
        }
        if (children)
            XFree(children);
        return indexA >= 0 && indexB >= 0 && indexA > indexB;
    }

    bool isViewable(Window window) const
    {
        XWindowAttributes attributes{};
        XSync(m_display, False);
        return XGetWindowAttributes(m_display, window, &attributes) && attributes.map_state == IsViewable;
    }

    long rootCardinal(const char* name) const
    {
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        long value = -1;
        if (XGetWindowProperty(m_display, root(), XInternAtom(m_display, name, False), 0, 1, False, XA_CARDINAL, &type,
                               &format, &items, &after, &data) == Success &&
            data && items == 1)
            value = *reinterpret_cast<long*>(data);
        if (data)
            XFree(data);
        return value;
    }

    // Asks the window manager, as a pager would, to change a property of the whole screen.
    void askWindowManager(const char* message, long value) const { sendToWindowManager(root(), message, value); }

    // Asks the window manager for something it answers at once: once the answer is in, it has
    // handled every request that reached it before, this program's among them.
    bool windowManagerCaughtUp() const
    {
        QGuiApplication::sync();
        const Window probe = XCreateSimpleWindow(m_display, root(), 0, 0, 1, 1, 0, 0, 0);
        const Atom extents = XInternAtom(m_display, "_NET_FRAME_EXTENTS", False);
        sendToWindowManager(probe, "_NET_REQUEST_FRAME_EXTENTS", 0);
        const bool answered = settles([&] {
            Atom type = None;
            int format = 0;
            unsigned long items = 0;
            unsigned long after = 0;
            unsigned char* data = nullptr;
            const bool set = XGetWindowProperty(m_display, probe, extents, 0, 4, False, XA_CARDINAL, &type, &format,
                                                &items, &after, &data) == Success &&
                             items == 4;
            if (data)
                XFree(data);
            return set;
        });
        XDestroyWindow(m_display, probe);
        XSync(m_display, False);
        return answered;
    }

    // A real click of the first mouse button at a point of the screen.
    void click(const QPoint& at) const
    {
        XTestFakeMotionEvent(m_display, -1, at.x(), at.y(), CurrentTime);
        XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
        XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
        XSync(m_display, False);
    }

private:
    void sendToWindowManager(Window window, const char* message, long value) const
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(m_display, message, False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = value;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(m_display, False);
    }

    Display* m_display;
};

// The two floating panels, each shown through its own owner the way the controller does.
struct Panels
{
    SystemClock clock;
    QtOverlayScreens screens;
    X11Compositing compositing;
    FakeClipboard clipboard;
    RecordingKeySynthesizer keys;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    TextInserter inserter{clipboard, keys, workspace, accessibility, clock};
    RecordingOverlay overlay{clock, screens, compositing};
    AnswerPopup popup{inserter, clipboard, clock, screens, compositing};

    QWidget* show(const QString& which)
    {
        if (which == QLatin1String("overlay")) {
            overlay.showListening();
            return overlay.panel();
        }
        popup.answer(QStringLiteral("几点开会"), QStringLiteral("下午三点。"), std::nullopt);
        return popup.panel();
    }
};

} // namespace

class TestPanelsOnTop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the X11 desktop of scripts/with-desktop");
        QVERIFY(m_screen.connected());
        if (m_screen.rootCardinal("_NET_NUMBER_OF_DESKTOPS") < 2)
            m_screen.askWindowManager("_NET_NUMBER_OF_DESKTOPS", 2);
        QVERIFY(settles([this] { return m_screen.rootCardinal("_NET_NUMBER_OF_DESKTOPS") >= 2; }));
    }

    void cleanup()
    {
        // Back to the first desktop, so every case starts where the user would.
        m_screen.askWindowManager("_NET_CURRENT_DESKTOP", 0);
        QVERIFY(settles([this] { return m_screen.rootCardinal("_NET_CURRENT_DESKTOP") == 0; }));
    }

    void staysAboveFullScreenAndOnEveryDesktop_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::newRow("recording overlay") << "overlay";
        QTest::newRow("answer card") << "answer";
    }
    void staysAboveFullScreenAndOnEveryDesktop()
    {
        QFETCH(QString, panel);
        // The application the user works in, full screen and in front.
        QWidget fullScreen;
        fullScreen.setWindowTitle(QStringLiteral("full screen"));
        fullScreen.showFullScreen();
        QVERIFY(QTest::qWaitForWindowActive(&fullScreen, kWaitMs));
        const Window front = fullScreen.winId();

        Panels panels;
        QWidget* shown = panels.show(panel);
        QVERIFY(settles([&] { return shown->windowHandle() && shown->windowHandle()->isExposed(); }));
        const Window floating = shown->winId();
        QVERIFY(settles([&] { return m_screen.isViewable(floating) && m_screen.isAbove(floating, front); }));

        // The user goes on working in the full-screen window: it comes to the front again.
        fullScreen.activateWindow();
        fullScreen.raise();
        QVERIFY(m_screen.windowManagerCaughtUp());
        QVERIFY2(m_screen.isAbove(floating, front), "after the full-screen window was raised");

        // Another desktop: the full-screen window goes with its desktop, the panel stays.
        const long target =
            (m_screen.rootCardinal("_NET_CURRENT_DESKTOP") + 1) % m_screen.rootCardinal("_NET_NUMBER_OF_DESKTOPS");
        m_screen.askWindowManager("_NET_CURRENT_DESKTOP", target);
        QVERIFY(settles([&] { return m_screen.rootCardinal("_NET_CURRENT_DESKTOP") == target; }));
        QVERIFY(settles([&] { return !m_screen.isViewable(front); }));
        QVERIFY(m_screen.windowManagerCaughtUp());
        QVERIFY2(m_screen.isViewable(floating), "after the desktop switch");
        QVERIFY(shown->isVisible());
    }

    void clickingIntoTheAnswerCardTakesTheKeyboard()
    {
        Panels panels;
        QWidget* card = panels.show(QStringLiteral("answer"));
        QVERIFY(settles([&] { return card->windowHandle() && card->windowHandle()->isExposed(); }));
        QVERIFY(QGuiApplication::focusWindow() != card->windowHandle());
        m_screen.click(card->geometry().center());
        QVERIFY(settles([&] { return QGuiApplication::focusWindow() == card->windowHandle(); }));
    }

private:
    DesktopView m_screen;
};

MURMO_TEST(TestPanelsOnTop)
#include "tst_PanelsOnTop.moc"

#include "app/feedback/OverlayPanel.h"
#include "app/feedback/QtOverlayScreens.h"
#include "app/feedback/RecordingOverlay.h"
#include "platform/SystemClock.h"
#include "platform/linux/X11Compositing.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QTest>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>

// A plain X client standing in for the application the user dictates into: its own connection,
// its own window, holding the keyboard focus.
class FocusedHelper
{
public:
    FocusedHelper()
        : m_display(XOpenDisplay(nullptr))
    {
        if (!m_display)
            return;
        const int screen = DefaultScreen(m_display);
        m_window = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), 100, 100, 400, 300, 0,
                                       BlackPixel(m_display, screen), WhitePixel(m_display, screen));
        XStoreName(m_display, m_window, "text field");
        XWMHints hints{};
        hints.flags = InputHint;
        hints.input = True;
        XSetWMHints(m_display, m_window, &hints);
        XSelectInput(m_display, m_window, StructureNotifyMask | FocusChangeMask);
        XMapRaised(m_display, m_window);
        XSync(m_display, False);
    }

    ~FocusedHelper()
    {
        if (m_display) {
            XDestroyWindow(m_display, m_window);
            XCloseDisplay(m_display);
        }
    }

    bool connected() const { return m_display != nullptr; }

    // Takes the focus once the window manager has mapped the window.
    bool takeFocus()
    {
        return waitFor([this] {
            XWindowAttributes attributes{};
            XGetWindowAttributes(m_display, m_window, &attributes);
            if (attributes.map_state != IsViewable)
                return false;
            XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
            XSync(m_display, False);
            return focusOwner() == m_window;
        });
    }

    Window focusOwner() const
    {
        Window owner = None;
        int revert = 0;
        XSync(m_display, False);
        XGetInputFocus(m_display, &owner, &revert);
        return owner;
    }

    Window window() const { return m_window; }

    static bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 20000); }

private:
    Display* m_display = nullptr;
    Window m_window = None;
};

class TestOverlayFocus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void overlayNeverTakesTheFocus()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs the X11 desktop of scripts/with-desktop");
        FocusedHelper helper;
        QVERIFY(helper.connected());
        QVERIFY(helper.takeFocus());

        SystemClock clock;
        QtOverlayScreens screens;
        X11Compositing compositing;
        RecordingOverlay overlay(clock, screens, compositing);

        // Lets the overlay's own timers and fades run for a while, then tells whether the helper
        // still holds the focus and no window of ours became active. Only this program could take
        // it (the window manager never sees the overlay), and every request it made has reached
        // the server once it has synced.
        auto keptFocus = [&](int ms) {
            QTest::qWait(ms);
            QGuiApplication::sync();
            return helper.focusOwner() == helper.window() && QApplication::activeWindow() == nullptr;
        };

        overlay.showListening();
        QVERIFY(FocusedHelper::waitFor(
            [&] { return overlay.panel()->windowHandle() && overlay.panel()->windowHandle()->isExposed(); }));
        QVERIFY2(keptFocus(300), "listening shown");
        for (int i = 0; i < 20; ++i) {
            overlay.setLevel(float(i % 5) / 5.0f);
            overlay.setPartial(QStringLiteral("正在听写第%1句").arg(i));
            QTest::qWait(10);
        }
        QVERIFY2(keptFocus(50), "levels and partials");
        overlay.showListening(OverlayModel::Phase::listeningTranslate);
        QVERIFY2(keptFocus(100), "action switched");
        overlay.showProcessing();
        QVERIFY2(keptFocus(300), "processing");
        overlay.failActionable(OverlayModel::FailKind::styling, QStringLiteral("整理失败"));
        QVERIFY2(keptFocus(300), "failed");
        overlay.finish(QStringLiteral("今天下午三点开会。"), false, std::nullopt);
        QVERIFY2(keptFocus(300), "copied result");
        QVERIFY(overlay.isShowing());
        overlay.hide();
        QVERIFY(FocusedHelper::waitFor([&] { return !overlay.isShowing(); }));
        QVERIFY2(keptFocus(100), "hidden");

        // A second round from hidden, ending by its own fade.
        overlay.showCancelled();
        QVERIFY2(keptFocus(100), "cancelled shown");
        QVERIFY(FocusedHelper::waitFor([&] { return !overlay.isShowing(); }));
        QVERIFY2(keptFocus(50), "cancelled gone");
    }
};

MURMO_TEST(TestOverlayFocus)
#include "tst_OverlayFocus.moc"

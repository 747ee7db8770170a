#include "XTestKeyboard.h"
#include "app/desktop/HotkeyEngine.h"
#include "platform/SystemClock.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/TestRegistry.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>
#include <mutex>

namespace {

constexpr int keyF = 3;
constexpr int keyT = 17;
constexpr int menu = 63;
constexpr int rightSuper = 54;
// Generous: a passing wait returns as soon as the key arrives, a busy machine may take long.

// The front application: remembers every key press that reaches it.
class KeyWindow : public QWidget
{
public:
    QList<int> pressed;

protected:
    void keyPressEvent(QKeyEvent* event) override { pressed << event->key(); }
};

// The engine's signals come on the key thread; the test reads on the main thread.
class Log
{
public:
    void add(const QString& line)
    {
        std::scoped_lock lock(m_mutex);
        m_lines << line;
    }
    QStringList lines() const
    {
        std::scoped_lock lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

} // namespace

class TestX11Hotkeys : public QObject
{
    Q_OBJECT

private:
    KeyWindow m_window;
    XTestKeyboard m_keyboard;
    std::map<const HotkeyEngine*, HotkeySet> m_hotkeys;

    // Everything typed before has reached the window once a key typed after it has.
    void typeThrough()
    {
        const auto before = m_window.pressed.count(Qt::Key_X);
        m_keyboard.tap("x");
        QTRY_COMPARE_WITH_TIMEOUT(m_window.pressed.count(Qt::Key_X), before + 1, kWaitMs);
    }

    // Hands the engine one more hotkey and logs its presses and releases under name.
    void bind(HotkeyEngine& engine, Log& log, HotkeyUse use, const QString& name, const Hotkey& hotkey)
    {
        HotkeySet& hotkeys = m_hotkeys[&engine];
        hotkeys[use] = hotkey;
        QObject::connect(&engine, &HotkeyEngine::pressed, [&log, use, name](HotkeyUse pressed) {
            if (pressed == use)
                log.add(name + QStringLiteral(" down"));
        });
        QObject::connect(&engine, &HotkeyEngine::released, [&log, use, name](HotkeyUse released) {
            if (released == use)
                log.add(name + QStringLiteral(" up"));
        });
        engine.setHotkeys(hotkeys);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY2(m_keyboard.isOpen(), "no X display: run under scripts/with-desktop");
        m_window.resize(300, 200);
        m_window.show();
        m_window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_window, kWaitMs));
    }

    void init()
    {
        m_window.pressed.clear();
        m_hotkeys.clear();
    }

    void boundKeyReachesTheBindingNotTheWindow()
    {
        Log log;
        SystemClock clock;
        X11KeyEventSource source;
        HotkeyEngine engine(source, clock);
        bind(engine, log, HotkeyUse::talk, QStringLiteral("talk"), Hotkey{keyT, 0x80000, false});
        QVERIFY(engine.start());
        QCOMPARE(engine.grabFailures(), KeyGrabFailures{});

        m_keyboard.press("Alt_L");
        m_keyboard.press("t");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(), QStringList{QStringLiteral("talk down")}, kWaitMs);
        m_keyboard.release("t");
        m_keyboard.release("Alt_L");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}),
                                  kWaitMs);
        typeThrough();
        QVERIFY(!m_window.pressed.contains(Qt::Key_T));

        // Without Alt the key is the window's.
        m_keyboard.tap("t");
        typeThrough();
        QCOMPARE(m_window.pressed.count(Qt::Key_T), 1);
        QCOMPARE(log.lines().size(), 2);
    }

    void loneMenuKeyReportsDownAndUp()
    {
        Log log;
        SystemClock clock;
        X11KeyEventSource source;
        HotkeyEngine engine(source, clock);
        bind(engine, log, HotkeyUse::talk, QStringLiteral("talk"), Hotkey{menu, 0, true});
        QVERIFY(engine.start());
        m_keyboard.press("Menu");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(), QStringList{QStringLiteral("talk down")}, kWaitMs);
        QTest::qWait(60); // a human press; quicker transitions are taken for bounces
        m_keyboard.release("Menu");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}),
                                  kWaitMs);
    }

    void escReachesTheWindowUnlessDictating()
    {
        Log log;
        SystemClock clock;
        X11KeyEventSource source;
        HotkeyEngine engine(source, clock);
        QObject::connect(&engine, &HotkeyEngine::cancelPressed, [&log] { log.add(QStringLiteral("cancel")); });
        // The key thread sees keys on its own schedule; once it reports the lone right Super
        // typed after Esc, it has seen that Esc too.
        bind(engine, log, HotkeyUse::cycle, QStringLiteral("sync"), Hotkey{rightSuper, 0, true});
        QVERIFY(engine.start());
        QCoreApplication::processEvents();

        m_keyboard.tap("Escape");
        m_keyboard.tap("Super_R");
        typeThrough();
        QCOMPARE(m_window.pressed.count(Qt::Key_Escape), 1);
        const QStringList synced{QStringLiteral("sync down"), QStringLiteral("sync up")};
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(), synced, kWaitMs);

        QSignalSpy grabbed(&engine, &HotkeyEngine::grabsUpdated);
        engine.setRecordingActive(true);
        QVERIFY(grabbed.wait(kWaitMs));
        m_keyboard.tap("Escape");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(), synced + QStringList{QStringLiteral("cancel")}, kWaitMs);
        // Esc cancels with a modifier held as well, and then also stays away from the window.
        m_keyboard.press("Control_L");
        m_keyboard.tap("Escape");
        m_keyboard.release("Control_L");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(),
                                  (synced + QStringList{QStringLiteral("cancel"), QStringLiteral("cancel")}), kWaitMs);
        typeThrough();
        QCOMPARE(m_window.pressed.count(Qt::Key_Escape), 1);
    }

    void recordingCapturesChordAndLoneModifier()
    {
        QStringList recorded;
        SystemClock clock;
        X11KeyEventSource source;
        HotkeyEngine engine(source, clock);
        QObject::connect(&engine, &HotkeyEngine::captured, [&recorded](HotkeyUse use, const Hotkey& hotkey) {
            recorded << QStringLiteral("%1 %2 %3 %4")
                            .arg(use == HotkeyUse::talk ? QStringLiteral("talk") : QStringLiteral("other"))
                            .arg(hotkey.keyCode)
                            .arg(hotkey.modifiers, 0, 16)
                            .arg(hotkey.isModifierOnly ? QStringLiteral("modifier-only") : QStringLiteral("key"));
        });
        QVERIFY(engine.start());
        QCoreApplication::processEvents();
        QSignalSpy grabbed(&engine, &HotkeyEngine::grabsUpdated);

        engine.beginCapture(HotkeyUse::talk);
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 1, kWaitMs);
        QCOMPARE(engine.grabFailures(), KeyGrabFailures{});
        m_keyboard.press("Control_L");
        m_keyboard.press("Alt_L");
        m_keyboard.release("Alt_L");
        m_keyboard.release("Control_L");
        QTRY_COMPARE_WITH_TIMEOUT(recorded, QStringList{QStringLiteral("talk 58 c0000 modifier-only")}, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 2, kWaitMs); // the keyboard is given back
        typeThrough();
        QVERIFY(!m_window.pressed.contains(Qt::Key_Control));
        QVERIFY(!m_window.pressed.contains(Qt::Key_Alt));

        engine.beginCapture(HotkeyUse::talk);
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 3, kWaitMs);
        m_keyboard.tap("Shift_R");
        QTRY_COMPARE_WITH_TIMEOUT(
            recorded,
            (QStringList{QStringLiteral("talk 58 c0000 modifier-only"), QStringLiteral("talk 60 0 modifier-only")}),
            kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(grabbed.count(), 4, kWaitMs);
        typeThrough();
        QVERIFY(!m_window.pressed.contains(Qt::Key_Shift));
    }

    void combinationHeldByAnotherProgramIsReported()
    {
        XTestKeyboard windowManager;
        windowManager.grabWithAlt("f");
        Log log;
        SystemClock clock;
        X11KeyEventSource source;
        HotkeyEngine engine(source, clock);
        bind(engine, log, HotkeyUse::talk, QStringLiteral("talk"), Hotkey{keyF, 0x80000, false});
        bind(engine, log, HotkeyUse::cycle, QStringLiteral("cycle"), Hotkey{keyT, 0x80000, false});
        QVERIFY(engine.start());
        // Tried again as every hotkey is when they change, the held combination answers the same.
        QCOMPARE(engine.grabFailures(), (KeyGrabFailures{{{keyF, 0x80000}}, false, {{keyF, 0x80000}}}));
        // The watcher itself still works, also for the combination it could not withhold.
        m_keyboard.press("Alt_L");
        m_keyboard.tap("f");
        m_keyboard.tap("t");
        m_keyboard.release("Alt_L");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(),
                                  (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up"),
                                               QStringLiteral("cycle down"), QStringLiteral("cycle up")}),
                                  kWaitMs);
    }

    void startFailsWithoutADisplay()
    {
        SystemClock clock;
        X11KeyEventSource source("unix:/nonexistent/X0");
        HotkeyEngine engine(source, clock);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot watch the keyboard")));
        QVERIFY(!engine.start());
        QVERIFY(!engine.isRunning());
        engine.stop();
    }

    void brokenConnectionReleasesKeysAndRecovers()
    {
        // An X server of the test's own, which it can take away under the watcher.
        const QStringList screen{QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x24"),
                                 QStringLiteral("-nolisten"), QStringLiteral("tcp")};
        QProcess server;
        server.start(QStringLiteral("Xvfb"), QStringList{QStringLiteral("-displayfd"), QStringLiteral("1")} + screen);
        QVERIFY(server.waitForStarted());
        QByteArray number;
        QTRY_VERIFY_WITH_TIMEOUT((number += server.readAllStandardOutput()).contains('\n'), kWaitMs);
        const QByteArray name = ":" + number.trimmed();

        Log log;
        Log syncLog;
        SystemClock clock;
        X11KeyEventSource source(name);
        HotkeyEngine engine(source, clock);
        bind(engine, log, HotkeyUse::talk, QStringLiteral("talk"), Hotkey{menu, 0, true});
        bind(engine, syncLog, HotkeyUse::cycle, QStringLiteral("sync"), Hotkey{rightSuper, 0, true});
        QVERIFY(engine.start());
        {
            XTestKeyboard keyboard(name.constData());
            keyboard.press("Menu");
            QTRY_COMPARE_WITH_TIMEOUT(log.lines(), QStringList{QStringLiteral("talk down")}, kWaitMs);
        } // Xlib would end this process if its connection broke
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("X connection of the hotkeys broke")));
        server.terminate();
        QVERIFY(server.waitForFinished(kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}),
                                  kWaitMs);
        QVERIFY(engine.isRunning());

        QSignalSpy reconnected(&engine, &HotkeyEngine::grabsUpdated);
        QProcess again;
        again.start(QStringLiteral("Xvfb"), QStringList{QString::fromLatin1(name)} + screen);
        QVERIFY(again.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(reconnected.count() > 0, kWaitMs);
        {
            // The engine may reconnect a moment before the new server takes further clients.
            std::unique_ptr<XTestKeyboard> opened;
            QTRY_VERIFY_WITH_TIMEOUT((opened = std::make_unique<XTestKeyboard>(name.constData()))->isOpen(), kWaitMs);
            XTestKeyboard& keyboard = *opened;
            // Grabs applied does not yet mean the new server streams raw key events to the
            // engine, so a key without a bounce filter is tapped until the engine reports one.
            QTRY_VERIFY_WITH_TIMEOUT((keyboard.tap("Super_R"), syncLog.lines().contains(QStringLiteral("sync up"))),
                                     kWaitMs);
            keyboard.press("Menu");
            QTRY_COMPARE_WITH_TIMEOUT(log.lines().size(), 3, kWaitMs);
            QTest::qWait(60); // a human press: the engine takes quicker transitions for bounces
            keyboard.release("Menu");
            QTRY_COMPARE_WITH_TIMEOUT(log.lines().size(), 4, kWaitMs);
            QCOMPARE(log.lines(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up"),
                                               QStringLiteral("talk down"), QStringLiteral("talk up")}));
            engine.stop();
        }
        again.terminate();
        QVERIFY(again.waitForFinished(kWaitMs));
    }

    void stopsCleanlyWithKeysHeld()
    {
        Log log;
        SystemClock clock;
        X11KeyEventSource source;
        HotkeyEngine engine(source, clock);
        bind(engine, log, HotkeyUse::talk, QStringLiteral("talk"), Hotkey{keyT, 0x80000, false});
        QVERIFY(engine.start());
        m_keyboard.press("Alt_L");
        m_keyboard.press("t");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines(), QStringList{QStringLiteral("talk down")}, kWaitMs);

        engine.stop();
        QVERIFY(!engine.isRunning());
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}));
        m_keyboard.release("t");
        m_keyboard.release("Alt_L");

        // The grab went with the engine: Alt+T reaches the window now, and nothing is reported.
        m_keyboard.press("Alt_L");
        m_keyboard.tap("t");
        m_keyboard.release("Alt_L");
        typeThrough();
        QVERIFY(m_window.pressed.contains(Qt::Key_T));
        QCOMPARE(log.lines().size(), 2);

        // And it starts again.
        QVERIFY(engine.start());
        m_keyboard.press("Alt_L");
        m_keyboard.tap("t");
        m_keyboard.release("Alt_L");
        QTRY_COMPARE_WITH_TIMEOUT(log.lines().size(), 4, kWaitMs);
    }
};

MURMO_TEST(TestX11Hotkeys)
#include "tst_X11Hotkeys.moc"

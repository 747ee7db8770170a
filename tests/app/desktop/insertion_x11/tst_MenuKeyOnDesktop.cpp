#include "app/desktop/HotkeyEngine.h"
#include "app/desktop/TextInserter.h"
#include "platform/SystemClock.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "tests/app/desktop/hotkeys_x11/XTestKeyboard.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <atomic>
#include <memory>

// The default talk key is Menu, which applications answer with their context menu. Dictating
// with it into a text field must leave no menu open to swallow the paste.
class TestMenuKeyOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<DesktopPorts> m_ports;
    SystemClock m_clock;

    XTestKeyboard m_keyboard;

    // Transitions the engine saw, counted on its key thread.
    std::atomic<int> m_presses = 0;
    std::atomic<int> m_releases = 0;

    // Presses and releases Menu as the user would. Each transition waits until the engine has
    // seen the one before and then a little longer, so none is taken for a bounce of the key: the
    // engine times the transitions as it reads them.
    void tapMenu(const char* held)
    {
        const int before = m_presses;
        if (held)
            m_keyboard.press(held);
        m_keyboard.press("Menu");
        QTRY_COMPARE_WITH_TIMEOUT(m_presses.load(), before + 1, kWaitMs);
        QTest::qWait(60);
        m_keyboard.release("Menu");
        if (held)
            m_keyboard.release(held);
        QTRY_COMPARE_WITH_TIMEOUT(m_releases.load(), before + 1, kWaitMs);
        QTest::qWait(60);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_ports = std::make_unique<DesktopPorts>();
        QVERIFY2(m_ports->isUsable() && m_keyboard.isOpen(), "needs the headless desktop (scripts/with-desktop)");
    }

    void dictatingWithMenuOpensNoMenuInTheField_data()
    {
        QTest::addColumn<QByteArray>("held");
        QTest::newRow("Menu alone") << QByteArray();
        QTest::newRow("Menu with Shift held") << QByteArray("Shift_L");
    }

    void dictatingWithMenuOpensNoMenuInTheField()
    {
        QFETCH(QByteArray, held);
        const char* modifier = held.isEmpty() ? nullptr : held.constData();
        FieldHelper target(QStringLiteral("MurmoMenuTarget"), QStringLiteral("Menu target"));
        QVERIFY(m_ports->bringToFront(target, QStringLiteral("line")));

        X11KeyEventSource source;
        HotkeyEngine engine(source, m_clock);
        m_presses = 0;
        m_releases = 0;
        QObject::connect(&engine, &HotkeyEngine::pressed, [this] { ++m_presses; });
        QObject::connect(&engine, &HotkeyEngine::released, [this] { ++m_releases; });
        engine.setHotkeys({{HotkeyUse::talk, Hotkey{KeyCode::menu, 0, true}}});
        QVERIFY(engine.start());
        QCOMPARE(engine.grabFailures(), KeyGrabFailures{});

        // One press starts the dictation, the next one stops it and the text is pasted.
        tapMenu(modifier);
        tapMenu(modifier);
        QVERIFY(!target.command(QStringLiteral("state")).value(QStringLiteral("popup")).toBool());

        // The inserter's time moves when the test says: the clipboard is given back only after the
        // paste has landed.
        ManualClock inserterClock;
        TextInserter inserter(m_ports->clipboard, m_ports->keys, m_ports->workspace, m_ports->accessibility,
                              inserterClock);
        QVERIFY(inserter.insert(QStringLiteral("spoken text"), QStringLiteral("murmomenutarget")));
        inserterClock.advance(TextInserter::waitStep + TextInserter::settleDelay + TextInserter::keyUpDelay);
        QTRY_COMPARE_WITH_TIMEOUT(target.value(QStringLiteral("line")), QStringLiteral("spoken text"), kWaitMs);
        QVERIFY(!target.command(QStringLiteral("state")).value(QStringLiteral("popup")).toBool());
        engine.stop();
    }

    void cleanupTestCase() { m_ports.reset(); }
};

MURMO_TEST(TestMenuKeyOnDesktop)
#include "tst_MenuKeyOnDesktop.moc"

#include "platform/ModifierHandback.h"
#include "tests/support/FakeKeySource.h"
#include "tests/support/TestRegistry.h"

#include <QMap>
#include <QTest>

namespace {

// When, in a paste made while the user holds Shift and Ctrl, the user lets go of one of them.
enum class LetGo
{
    Never,
    BeforeThePaste,
    WhileTheChordIsDown,
    BetweenTheLookAndThePressAgain,
    AfterThePressAgain,
    AfterThePaste,
};

constexpr int keyV = 9;

// The window system as the synthesiser meets it: the keyboard's state is the last word on each
// key, from whichever device it came, and the watch delivers every press and release in the order
// they took effect, read only when the synthesiser looks.
class Server : public KeyEventSink
{
public:
    explicit Server(ModifierHandback& handback)
        : m_handback(handback)
    {}

    void apply(int key, bool press)
    {
        m_down[key] = press;
        if (m_watching)
            m_unread.append({key, press});
    }
    void watch(bool on) { m_watching = on; }
    void look()
    {
        for (const auto& [key, press] : std::exchange(m_unread, {}))
            m_handback.seen(key, press);
    }
    bool isDown(int key) const { return m_down.value(key); }

    bool keyEvent(const KeyEvent& event) override
    {
        if (!event.isRepeat)
            apply(event.keyCode, event.isPress);
        return false;
    }
    KeyGrabRequest wantedGrabs() override { return {}; }
    void grabsApplied(const KeyGrabFailures&) override {}
    void keysLost() override {}

private:
    ModifierHandback& m_handback;
    QMap<int, bool> m_down;
    bool m_watching = false;
    QList<std::pair<int, bool>> m_unread;
};

} // namespace

class TestModifierHandback : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A Ctrl+V made while the user holds Shift and Ctrl lets both go for the chord and presses
    // again those the user still holds: at the end exactly the keys the user holds are down,
    // whenever the user let go of one of them, Ctrl being also the chord's own.
    void theKeysTheUserStillHoldsAreDownAgain_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<LetGo>("when");
        QTest::addColumn<QList<int>>("pressedAgain");
        const int shift = KeyCode::leftShift;
        const int ctrl = KeyCode::leftControl;
        const QList<int> both{shift, ctrl};
        QTest::newRow("held throughout") << shift << LetGo::Never << both;
        QTest::newRow("Shift before the paste") << shift << LetGo::BeforeThePaste << QList<int>{ctrl};
        QTest::newRow("Shift during the paste") << shift << LetGo::WhileTheChordIsDown << QList<int>{ctrl};
        QTest::newRow("Ctrl during the paste") << ctrl << LetGo::WhileTheChordIsDown << QList<int>{shift};
        QTest::newRow("Shift between the look and its press again")
            << shift << LetGo::BetweenTheLookAndThePressAgain << both;
        QTest::newRow("Ctrl between the look and its press again")
            << ctrl << LetGo::BetweenTheLookAndThePressAgain << both;
        QTest::newRow("Shift after its press again") << shift << LetGo::AfterThePressAgain << both;
        QTest::newRow("Shift after the paste") << shift << LetGo::AfterThePaste << both;
    }

    void theKeysTheUserStillHoldsAreDownAgain()
    {
        QFETCH(int, key);
        QFETCH(LetGo, when);
        QFETCH(QList<int>, pressedAgain);
        ModifierHandback handback;
        Server server(handback);
        FakeKeySource user;
        QVERIFY(user.start(server));
        const QList<int> modifiers{KeyCode::leftShift, KeyCode::leftControl};
        const auto letGoAt = [&](LetGo moment) {
            if (moment == when)
                user.release(key);
        };
        for (const int modifier : modifiers)
            user.press(modifier);
        letGoAt(LetGo::BeforeThePaste);

        // The chord's press lets go of what the user holds, then presses Ctrl+V.
        QList<int> letGo;
        for (const int modifier : modifiers) {
            if (server.isDown(modifier)) {
                server.apply(modifier, false);
                letGo.append(modifier);
            }
        }
        server.apply(KeyCode::leftControl, true);
        server.apply(keyV, true);
        handback.begin(letGo);
        server.watch(true);
        letGoAt(LetGo::WhileTheChordIsDown);

        // Its release, then the presses again.
        server.apply(keyV, false);
        server.apply(KeyCode::leftControl, false);
        handback.own(KeyCode::leftControl, false);
        server.look();
        letGoAt(LetGo::BetweenTheLookAndThePressAgain);
        QList<int> pressed = handback.pressAgain();
        for (const int again : std::as_const(pressed))
            server.apply(again, true);
        letGoAt(LetGo::AfterThePressAgain);
        server.look();
        server.watch(false);
        for (const int again : handback.letGoAgain())
            server.apply(again, false);
        QVERIFY(!handback.isFollowing());
        letGoAt(LetGo::AfterThePaste);

        std::sort(pressed.begin(), pressed.end());
        std::sort(pressedAgain.begin(), pressedAgain.end());
        QCOMPARE(pressed, pressedAgain);
        for (const int modifier : modifiers)
            QCOMPARE(server.isDown(modifier), bool(user.heldModifiers() & KeyModifier::familyOf(modifier)));
    }
};

MURMO_TEST(TestModifierHandback)
#include "tst_ModifierHandback.moc"

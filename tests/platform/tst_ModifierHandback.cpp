#include "platform/ModifierHandback.h"
#include "tests/support/FakeKeySource.h"
#include "tests/support/TestRegistry.h"

#include <QMap>
#include <QTest>

namespace {

// When, in a Ctrl+V made while the user holds Shift and Ctrl, the user lets go of one of them.
enum class LetGo
{
    Never,
    BeforeThePaste,
    WhileTheChordIsDown,
    BetweenTheLookAndThePressAgain,
    AfterThePressAgain,
    AfterThePaste,
};

// The window system: a key's state is the last word on it from any device, and the watch hands
// over every press and release in the order they took effect, when the synthesiser looks.
struct Server : KeyEventSink
{
    ModifierHandback handback;
    QMap<int, bool> down;
    bool watching = false;
    QList<std::pair<int, bool>> unread;

    void apply(int key, bool press)
    {
        down[key] = press;
        if (watching)
            unread.append({key, press});
    }
    void look()
    {
        for (const auto& [key, press] : std::exchange(unread, {}))
            handback.seen(key, press);
    }
    bool keyEvent(const KeyEvent& event) override
    {
        apply(event.keyCode, event.isPress);
        return false;
    }
    KeyGrabRequest wantedGrabs() override { return {}; }
    void grabsApplied(const KeyGrabFailures&) override {}
    void keysLost() override {}
};

} // namespace

class TestModifierHandback : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Exactly the keys the user still holds are down after the paste, whenever the user let go of
    // one, Ctrl being also the chord's own.
    void theKeysTheUserStillHoldsAreDownAgain_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<LetGo>("when");
        QTest::addColumn<QList<int>>("pressedAgain");
        const int shift = KeyCode::leftShift;
        const int ctrl = KeyCode::leftControl;
        const QList<int> both{shift, ctrl};
        QTest::newRow("held throughout") << shift << LetGo::Never << both;
        QTest::newRow("Shift before") << shift << LetGo::BeforeThePaste << QList<int>{ctrl};
        QTest::newRow("Shift during") << shift << LetGo::WhileTheChordIsDown << QList<int>{ctrl};
        QTest::newRow("Ctrl during") << ctrl << LetGo::WhileTheChordIsDown << QList<int>{shift};
        QTest::newRow("Shift between look and press") << shift << LetGo::BetweenTheLookAndThePressAgain << both;
        QTest::newRow("Ctrl between look and press") << ctrl << LetGo::BetweenTheLookAndThePressAgain << both;
        QTest::newRow("Shift after its press again") << shift << LetGo::AfterThePressAgain << both;
        QTest::newRow("Shift after the paste") << shift << LetGo::AfterThePaste << both;
    }

    void theKeysTheUserStillHoldsAreDownAgain()
    {
        QFETCH(int, key);
        QFETCH(LetGo, when);
        QFETCH(QList<int>, pressedAgain);
        constexpr int v = 9;
        const QList<int> modifiers{KeyCode::leftShift, KeyCode::leftControl};
        Server server;
        FakeKeySource user;
        QVERIFY(user.start(server));
        const auto userLetsGoAt = [&](LetGo moment) {
            if (moment == when)
                user.release(key);
        };
        for (const int modifier : modifiers)
            user.press(modifier);
        userLetsGoAt(LetGo::BeforeThePaste);

        // As XTestKeySynthesizer does it: the press lets go of what the user holds...
        QList<int> letGo;
        for (const int modifier : modifiers) {
            if (server.down.value(modifier)) {
                server.apply(modifier, false);
                letGo.append(modifier);
            }
        }
        server.apply(KeyCode::leftControl, true);
        server.apply(v, true);
        server.handback.begin(letGo);
        server.watching = true;
        userLetsGoAt(LetGo::WhileTheChordIsDown);
        // ... and the release presses again what the user still holds.
        server.apply(v, false);
        server.apply(KeyCode::leftControl, false);
        server.handback.own(KeyCode::leftControl, false);
        server.look();
        userLetsGoAt(LetGo::BetweenTheLookAndThePressAgain);
        QList<int> pressed = server.handback.pressAgain();
        for (const int again : std::as_const(pressed))
            server.apply(again, true);
        userLetsGoAt(LetGo::AfterThePressAgain);
        server.look();
        server.watching = false;
        for (const int again : server.handback.letGoAgain())
            server.apply(again, false);
        userLetsGoAt(LetGo::AfterThePaste);

        std::sort(pressed.begin(), pressed.end());
        std::sort(pressedAgain.begin(), pressedAgain.end());
        QCOMPARE(pressed, pressedAgain);
        for (const int modifier : modifiers)
            QCOMPARE(server.down.value(modifier), bool(user.heldModifiers() & KeyModifier::familyOf(modifier)));
    }
};

MURMO_TEST(TestModifierHandback)
#include "tst_ModifierHandback.moc"

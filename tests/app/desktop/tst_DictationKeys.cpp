#include "tests/app/desktop/HotkeyRig.h"
#include "tests/support/TestRegistry.h"

#include <QCoreApplication>
#include <QTest>

class TestDictationKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondaryHotkeysSwitchOnlyInsideTheWindow_data()
    {
        QTest::addColumn<Hotkey>("secondary");
        QTest::addColumn<QList<int>>("gesture"); // keys pressed in order, then released in reverse
        QTest::addColumn<QString>("report");
        QTest::newRow("ask key") << altSpace << QList<int>{leftAlt, space} << QStringLiteral("ask down");
        QTest::newRow("ask chord") << Hotkey{leftShift, 0x60000, true} << QList<int>{leftCtrl, leftShift}
                                   << QStringLiteral("ask down");
        QTest::newRow("ask lone Menu") << menuAlone << QList<int>{menu} << QStringLiteral("ask down");
    }

    void secondaryHotkeysSwitchOnlyInsideTheWindow()
    {
        QFETCH(Hotkey, secondary);
        QFETCH(QList<int>, gesture);
        QFETCH(QString, report);
        Rig rig;
        rig.bind(HotkeyUse::talk, Hotkey{f5, 0, false});
        rig.bind(HotkeyUse::ask, secondary);
        rig.engine.start();
        rig.startDictation();

        // Key transitions 50 ms apart, so the Menu key's bounce filter never interferes.
        const auto play = [&] {
            bool lastSwallowed = false;
            for (const int key : gesture)
                lastSwallowed = rig.keys.press(key);
            rig.clock.advance(50ms);
            for (auto it = gesture.rbegin(); it != gesture.rend(); ++it)
                rig.keys.release(*it);
            return lastSwallowed;
        };
        rig.clock.advance(950ms);
        QVERIFY(play());
        QCOMPARE(rig.take(), QStringList{report});

        // The window is over: the same keys pass on.
        rig.clock.advance(50ms);
        QVERIFY(!play());
        QCOMPARE(rig.take(), QStringList());
    }

    void switchKeyUpIsSwallowedAndRepeatsReportOnce()
    {
        Rig rig;
        rig.bind(HotkeyUse::ask, altSpace);
        rig.bind(HotkeyUse::translate, Hotkey{keyT, 0x80000, false});
        rig.engine.start();
        rig.startDictation();
        rig.keys.press(leftAlt);
        QVERIFY(rig.keys.press(keyT));
        QVERIFY(rig.keys.repeat(keyT));
        QVERIFY(rig.keys.release(keyT));
        QVERIFY(rig.keys.press(space));
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("translate down"), QStringLiteral("ask down")}));
        QVERIFY(rig.keys.release(space));
        rig.keys.release(leftAlt);
        // After the window the chord key is the application's again.
        rig.clock.advance(1s);
        rig.keys.press(leftAlt);
        QVERIFY(!rig.keys.press(space));
        QCOMPARE(rig.take(), QStringList());
    }

    void secondaryEqualToTalkNeverSwitches()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        rig.bind(HotkeyUse::ask, altSpace);
        rig.engine.start();
        rig.startDictation();
        rig.keys.press(leftAlt);
        QVERIFY(rig.keys.press(space));
        QVERIFY(rig.keys.release(space));
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}));
        const auto grabs = rig.keys.grabs();
        QCOMPARE(std::count(grabs.keys.begin(), grabs.keys.end(), KeyGrab{space, 0x80000}), 1);
    }

    // The microphone takes a moment to open after the talk key; a switch key pressed meanwhile
    // must already switch, and be held back from the application in front.
    void switchKeysActFromTheTalkKeysPress()
    {
        const Hotkey altR{15, 0x80000, false};
        const auto hasAltR = [&](const Rig& rig) {
            const auto grabs = rig.keys.grabs().keys;
            return std::find(grabs.begin(), grabs.end(), KeyGrab{int(altR.keyCode), altR.modifiers}) != grabs.end();
        };
        Rig rig;
        rig.bind(HotkeyUse::talk, menuAlone);
        rig.bind(HotkeyUse::rewrite, altR);
        rig.engine.start();
        const int grabChanges = rig.keys.grabChanges();
        rig.keys.press(menu);
        QVERIFY(rig.keys.grabChanges() > grabChanges);
        QVERIFY(hasAltR(rig));
        QVERIFY(!rig.keys.tap(esc)); // Esc waits for the recording itself
        rig.clock.advance(100ms);
        rig.keys.release(menu);
        rig.clock.advance(200ms);
        rig.keys.press(leftAlt);
        QVERIFY(rig.keys.tap(int(altR.keyCode)));
        rig.keys.release(leftAlt);
        QCOMPARE(rig.take(),
                 (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up"), QStringLiteral("rewrite down")}));

        // No recording came of it: the keys go back to the application when the window ends.
        QCoreApplication::processEvents();
        const int beforeEnd = rig.keys.grabChanges();
        rig.clock.advance(700ms);
        QVERIFY(rig.keys.grabChanges() > beforeEnd);
        QVERIFY(!hasAltR(rig));
        rig.keys.press(leftAlt);
        QVERIFY(!rig.keys.tap(int(altR.keyCode)));
        rig.keys.release(leftAlt);
        QCOMPARE(rig.take(), QStringList());

        // The talk key that stops a recording arms nothing.
        rig.startDictation();
        rig.clock.advance(2s);
        rig.keys.tap(menu);
        QVERIFY(!hasAltR(rig));
        rig.clock.advance(100ms);
        rig.keys.press(leftAlt);
        QVERIFY(!rig.keys.tap(int(altR.keyCode)));
        rig.keys.release(leftAlt);
    }

    void escCancelsOnlyWhileDictating()
    {
        Rig rig;
        rig.engine.start();
        QVERIFY(!rig.keys.tap(esc));
        QCOMPARE(rig.take(), QStringList());

        rig.startDictation();
        rig.clock.advance(2s); // outside the switch window too
        QVERIFY(rig.keys.press(esc));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("cancel")});
        rig.keys.release(esc);
        // With a modifier held too, and no press of it may reach the application in front.
        rig.keys.press(leftCtrl);
        QVERIFY(rig.keys.press(esc));
        rig.keys.release(esc);
        rig.keys.release(leftCtrl);
        QCOMPARE(rig.take(), QStringList{QStringLiteral("cancel")});
        const auto grabs = rig.keys.grabs().keys;
        QVERIFY(std::find(grabs.begin(), grabs.end(), KeyGrab{esc, 0, true}) != grabs.end());

        QObject::disconnect(&rig.engine, &HotkeyEngine::cancelPressed, nullptr, nullptr);
        QVERIFY(rig.keys.press(esc)); // swallowed even with nobody listening
        rig.keys.release(esc);

        rig.engine.setRecordingActive(false);
        QVERIFY(!rig.keys.press(esc));
        QCOMPARE(rig.take(), QStringList());
    }
};

MURMO_TEST(TestDictationKeys)
#include "tst_DictationKeys.moc"

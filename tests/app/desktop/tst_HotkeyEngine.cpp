#include "tests/app/desktop/HotkeyRig.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

class TestHotkeyEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keyHotkeyNeedsExactlyItsModifiers()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        QVERIFY(rig.engine.start());

        QVERIFY(!rig.keys.tap(space)); // bare Space belongs to the front application
        rig.keys.press(leftAlt);
        rig.keys.press(leftShift);
        QVERIFY(!rig.keys.press(space)); // one modifier too many
        QVERIFY(!rig.keys.release(space));
        rig.keys.release(leftShift);
        QCOMPARE(rig.take(), QStringList());

        QVERIFY(rig.keys.press(space));
        QVERIFY(rig.keys.repeat(space));
        QVERIFY(rig.keys.repeat(space));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk down")});
        QVERIFY(rig.keys.release(space));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk up")});
        // The key-up matched the held binding, not the modifiers: releasing Alt is not part of it.
        QVERIFY(!rig.keys.release(leftAlt));
        QCOMPARE(rig.take(), QStringList());
    }

    void keyUpReleasesEvenWhenModifiersWentFirst()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        rig.engine.start();
        rig.keys.press(leftAlt);
        rig.keys.press(space);
        rig.keys.release(leftAlt);
        QVERIFY(rig.keys.release(space));
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}));
    }

    void chordIsPressedAndBroken()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, ctrlAltChord);
        rig.engine.start();

        QVERIFY(!rig.keys.press(leftCtrl));
        QVERIFY(rig.keys.press(leftAlt));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk down")});
        QVERIFY(rig.keys.release(leftCtrl));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk up")});
        QVERIFY(!rig.keys.release(leftAlt));
        QCOMPARE(rig.take(), QStringList());

        // Adding Shift while the chord is down breaks it.
        rig.keys.press(leftAlt);
        rig.keys.press(leftCtrl);
        QVERIFY(rig.keys.press(leftShift));
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}));
        // Releasing Shift restores exactly the chord, which counts as pressing it again.
        QVERIFY(rig.keys.release(leftShift));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk down")});
        // CapsLock is no family: it neither breaks nor completes the chord.
        QVERIFY(!rig.keys.press(capsLock));
        QVERIFY(!rig.keys.release(capsLock));
        QCOMPARE(rig.take(), QStringList());
    }

    void loneMenuKeyWithDebounceOutsideCapture()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, menuAlone);
        rig.engine.start();

        QVERIFY(rig.keys.press(menu));
        rig.clock.advance(20ms);
        QVERIFY(rig.keys.release(menu)); // a bounce: swallowed and not counted
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk down")});
        rig.clock.advance(19ms);
        QVERIFY(rig.keys.press(menu)); // still within 40 ms of the accepted press
        QCOMPARE(rig.take(), QStringList());
        rig.clock.advance(1ms);
        QVERIFY(rig.keys.release(menu));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk up")});

        rig.clock.advance(100ms);
        QVERIFY(!rig.keys.release(menu)); // a release while nothing is down passes on
        QCOMPARE(rig.take(), QStringList());

        // While a hotkey is being captured, quick transitions all count.
        rig.engine.beginCapture(HotkeyUse::cycle);
        rig.clock.advance(50ms);
        QVERIFY(rig.keys.press(menu));
        rig.clock.advance(5ms);
        QVERIFY(rig.keys.release(menu));
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), QStringList{QStringLiteral("captured cycle 63 0 modifier-only")});
    }

    // Taps shorter than the debounce, as key remappers and remote desktops send them: every press
    // the bindings hear is followed by its release, and the next tap is heard again.
    void shortMenuTapsPairUp_data()
    {
        // Milliseconds between the transitions, which alternate press, release, press, ...
        QTest::addColumn<QList<int>>("gaps");
        QTest::newRow("tap of 0 ms") << QList<int>{0, 0};
        QTest::newRow("tap of 20 ms") << QList<int>{0, 20};
        QTest::newRow("burst of 10 ms taps") << QList<int>{0, 10, 10, 10, 10, 10};
        QTest::newRow("burst of 30 ms taps") << QList<int>{0, 30, 30, 30, 30, 30, 30, 30};
        QTest::newRow("bounce while held") << QList<int>{0, 5, 5};
    }

    void shortMenuTapsPairUp()
    {
        QFETCH(QList<int>, gaps);
        Rig rig;
        rig.bind(HotkeyUse::talk, menuAlone);
        rig.engine.start();
        bool down = false;
        for (const int gap : gaps) {
            rig.clock.advance(std::chrono::milliseconds(gap));
            QCoreApplication::processEvents();
            down = !down;
            QVERIFY(down ? rig.keys.press(menu) : rig.keys.release(menu));
        }
        QCoreApplication::processEvents();
        rig.clock.advance(100ms);
        const QStringList heard = rig.take();
        QVERIFY(!heard.isEmpty());
        for (qsizetype i = 0; i < heard.size(); ++i)
            QCOMPARE(heard[i], i % 2 ? QStringLiteral("talk up") : QStringLiteral("talk down"));
        // Held at the end: the last press waits for its release; else everything was released.
        QCOMPARE(heard.size() % 2 == 1, down);

        // In phase for the next tap, a plain one.
        if (down)
            rig.keys.release(menu);
        rig.clock.advance(100ms);
        rig.take();
        rig.keys.press(menu);
        rig.clock.advance(100ms);
        rig.keys.release(menu);
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}));
    }

    void callbacksMayCallBackIntoTheEngine()
    {
        // A receiver may change the hotkeys from inside a signal: the engine's lock must be free.
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        QObject::connect(&rig.engine, &HotkeyEngine::pressed, [&rig](HotkeyUse use) {
            if (use == HotkeyUse::talk)
                rig.bind(HotkeyUse::cycle, menuAlone);
        });
        QObject::disconnect(&rig.engine, &HotkeyEngine::cancelPressed, nullptr, nullptr);
        QObject::connect(&rig.engine, &HotkeyEngine::cancelPressed, [&rig] {
            rig.log << QStringLiteral("cancel");
            rig.engine.setRecordingActive(false);
        });
        rig.engine.start();
        rig.keys.press(leftAlt);
        QVERIFY(rig.keys.press(space));
        rig.keys.release(space);
        rig.keys.release(leftAlt);
        QVERIFY(rig.keys.press(menu));
        QCOMPARE(rig.take(),
                 (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up"), QStringLiteral("cycle down")}));

        rig.startDictation();
        QVERIFY(rig.keys.press(esc));
        rig.keys.release(esc);
        QVERIFY(!rig.keys.press(esc)); // the cancel ended the dictation
        QCOMPARE(rig.take(), QStringList{QStringLiteral("cancel")});
    }

    void everyResetReleasesHeldKeys_data()
    {
        QTest::addColumn<int>("reset"); // 0 activation, 1 lost keyboard, 2 stop
        QTest::newRow("our application activated") << 0;
        QTest::newRow("keyboard lost") << 1;
        QTest::newRow("engine stopped") << 2;
    }

    void everyResetReleasesHeldKeys()
    {
        QFETCH(int, reset);
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        rig.bind(HotkeyUse::cycle, menuAlone);
        rig.engine.start();
        rig.keys.press(leftAlt);
        rig.keys.press(space);
        rig.keys.press(menu);
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("talk down"), QStringLiteral("cycle down")}));
        if (reset == 0)
            rig.engine.applicationActivated();
        else if (reset == 1)
            rig.keys.loseKeys();
        else
            rig.engine.stop();
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("talk up"), QStringLiteral("cycle up")}));
        if (reset == 2) {
            QVERIFY(!rig.engine.isRunning());
            return;
        }
        // The still-held key repeats: that is no new press.
        QVERIFY(rig.keys.repeat(space));
        QCOMPARE(rig.take(), QStringList());
        rig.keys.release(space);
        rig.keys.press(space);
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk down")});
    }

    // A paste waiting for the talk key hears of the next release, once, and only when it asked.
    void aWatchedReleaseIsReportedOnce_data()
    {
        QTest::addColumn<bool>("watched");
        QTest::addColumn<bool>("lost"); // the keyboard lost sight of instead of the keys going up
        QTest::addColumn<int>("reports");
        QTest::newRow("keys let go") << true << false << 1;
        QTest::newRow("not asked for") << false << false << 0;
        QTest::newRow("keyboard lost") << true << true << 1;
    }

    void aWatchedReleaseIsReportedOnce()
    {
        QFETCH(bool, watched);
        QFETCH(bool, lost);
        QFETCH(int, reports);
        Rig rig;
        rig.bind(HotkeyUse::talk, menuAlone);
        rig.engine.start();
        QSignalSpy released(&rig.engine, &HotkeyEngine::keyReleased);
        rig.keys.press(menu);
        rig.keys.press(keyT);
        if (watched)
            rig.engine.watchNextRelease();
        rig.keys.press(keyK);
        rig.keys.repeat(keyT);
        QCOMPARE(released.count(), 0);
        if (lost) {
            rig.keys.loseKeys();
        } else {
            rig.keys.release(keyT);
            rig.keys.release(menu);
            rig.keys.release(keyK);
        }
        QCOMPARE(released.count(), reports);
    }

    void grabsFollowTheState()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        rig.bind(HotkeyUse::cycle, ctrlAltChord); // a chord cannot be withheld
        rig.bind(HotkeyUse::ask, Hotkey{keyA, 0x80000, false});
        rig.bind(HotkeyUse::rewrite, ctrlAltChord);
        rig.engine.start();
        const KeyGrab anyMenu{menu, 0, true};
        const KeyGrab anyEsc{esc, 0, true};
        QCOMPARE(rig.keys.grabs().keys, (std::vector<KeyGrab>{{space, 0x80000}}));

        rig.startDictation();
        QCOMPARE(rig.keys.grabs().keys, (std::vector<KeyGrab>{{space, 0x80000}, anyEsc, {keyA, 0x80000}}));
        const int changes = rig.keys.grabChanges();
        rig.clock.advance(999ms);
        QCOMPARE(rig.keys.grabChanges(), changes);
        rig.clock.advance(1ms); // the window closes: the source is told to grab again
        QCOMPARE(rig.keys.grabChanges(), changes + 1);
        QCOMPARE(rig.keys.grabs().keys, (std::vector<KeyGrab>{{space, 0x80000}, anyEsc}));

        rig.engine.setRecordingActive(false);
        QCOMPARE(rig.keys.grabs().keys, (std::vector<KeyGrab>{{space, 0x80000}}));
        rig.bind(HotkeyUse::talk, menuAlone);                    // Menu can, whatever is held with it
        rig.bind(HotkeyUse::cycle, Hotkey{rightShift, 0, true}); // a lone modifier cannot
        QCOMPARE(rig.keys.grabs().keys, std::vector<KeyGrab>{anyMenu});
        rig.bind(HotkeyUse::talk, Hotkey{(qint64(1) << 32) + keyT, 0, false}); // no wrap onto T
        rig.bind(HotkeyUse::cycle, std::nullopt);
        QCOMPARE(rig.keys.grabs().keys, std::vector<KeyGrab>{});
    }

    void grabFailuresAreExposed()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        rig.engine.start();
        QSignalSpy updated(&rig.engine, &HotkeyEngine::grabsUpdated);
        const KeyGrabFailures failures{{{space, 0x80000}}, false, {}};
        rig.keys.reportFailures(failures);
        QVERIFY(updated.wait(20000));
        QCOMPARE(rig.engine.grabFailures(), failures);
        rig.keys.reportFailures({});
        QVERIFY(updated.wait(20000));
        QCOMPARE(rig.engine.grabFailures(), KeyGrabFailures{});
    }

    // The chord keys are withheld only while a dictation starts; whether another program holds
    // them is asked when the hotkeys change or the settings want to know, and the answer stands
    // through the passes between.
    void probesTryEveryHotkeyAndTheirAnswerStands()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        const Hotkey altA{keyA, 0x80000, false};
        rig.bind(HotkeyUse::ask, altA);
        rig.engine.start();
        // One pass of the key source: the probes it was asked for, and held of them another
        // program's.
        const auto applyReporting = [&](const std::vector<KeyGrab>& held) {
            const KeyGrabRequest request = rig.keys.grabs();
            rig.keys.reportFailures({{}, false, held});
            return request.probes;
        };
        const std::vector<KeyGrab> everyHotkey{{space, 0x80000}, {keyA, 0x80000}};
        QCOMPARE(applyReporting({{keyA, 0x80000}}), everyHotkey);
        QCOMPARE(applyReporting({}), std::vector<KeyGrab>{}); // no probe due: the answer stands
        QCOMPARE(rig.engine.grabFailures().probes, (std::vector<KeyGrab>{{keyA, 0x80000}}));

        const int changes = rig.keys.grabChanges();
        rig.engine.probeGrabs();
        QCOMPARE(rig.keys.grabChanges(), changes + 1);
        QCOMPARE(applyReporting({}), everyHotkey);
        QCOMPARE(rig.engine.grabFailures(), KeyGrabFailures{});
    }

    void startFailsWhenKeysCannotBeWatched()
    {
        Rig rig;
        rig.keys.refuseStart(true);
        QVERIFY(!rig.engine.start());
        QVERIFY(!rig.engine.isRunning());
        rig.keys.refuseStart(false);
        QVERIFY(rig.engine.start());
        QVERIFY(rig.engine.start());
        QVERIFY(rig.engine.isRunning());
    }
};

MURMO_TEST(TestHotkeyEngine)
#include "tst_HotkeyEngine.moc"

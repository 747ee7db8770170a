#include "app/desktop/HotkeyEngine.h"
#include "tests/support/FakeKeySource.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {

constexpr int keyA = 0;
constexpr int keyT = 17;
constexpr int keyK = 40;
constexpr int space = 49;
constexpr int f5 = 96;
constexpr int esc = 53;
constexpr int leftShift = 56;
constexpr int capsLock = 57;
constexpr int leftAlt = 58;
constexpr int leftCtrl = 59;
constexpr int rightShift = 60;
constexpr int menu = 63;

const Hotkey altSpace{space, 0x80000, false};
const Hotkey ctrlAltChord{leftAlt, 0xC0000, true};
const Hotkey menuAlone{menu, 0, true};

// An engine on a fake keyboard whose callbacks write what happened into one log.
struct Rig
{
    // The engine goes first: stopping it releases held bindings, whose callbacks write the log.
    QStringList log;
    FakeKeySource keys;
    ManualClock clock;
    HotkeyEngine engine{keys, clock};

    Rig()
    {
        clock.advance(10s);
        engine.setOnCancel([this] { log << QStringLiteral("cancel"); });
        engine.setOnSwitchAction([this](HotkeyEngine::SwitchAction action) {
            static const char* names[] = {"dictate", "ask", "translate", "rewrite"};
            log << QStringLiteral("switch %1").arg(QLatin1StringView(names[int(action)]));
        });
        engine.setOnRecorded([this](const QString& id, const Hotkey& hotkey) {
            log << QStringLiteral("recorded %1 %2 %3 %4")
                       .arg(id)
                       .arg(hotkey.keyCode)
                       .arg(hotkey.modifiers, 0, 16)
                       .arg(hotkey.isModifierOnly ? QStringLiteral("modifier-only") : QStringLiteral("key"));
        });
    }

    void bind(const QString& id, std::optional<Hotkey> hotkey)
    {
        engine.installBinding(id, HotkeyEngine::Binding{hotkey, [this, id] { log << id + QStringLiteral(" down"); },
                                                        [this, id] { log << id + QStringLiteral(" up"); }});
    }

    void startDictation()
    {
        engine.setRecordingActive(true);
        engine.setSwitchDeadline(clock.now() + 1000ms);
    }

    QStringList take() { return std::exchange(log, {}); }
};

} // namespace

class TestHotkeyEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keyHotkeyNeedsExactlyItsModifiers()
    {
        Rig rig;
        rig.bind(QStringLiteral("talk"), altSpace);
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
        rig.bind(QStringLiteral("talk"), altSpace);
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
        rig.bind(QStringLiteral("talk"), ctrlAltChord);
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

    void loneMenuKeyWithDebounceOutsideRecording()
    {
        Rig rig;
        rig.bind(QStringLiteral("talk"), menuAlone);
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

        // While a hotkey is being recorded, quick transitions all count.
        rig.engine.beginRecording(QStringLiteral("cycle"));
        rig.clock.advance(50ms);
        QVERIFY(rig.keys.press(menu));
        rig.clock.advance(5ms);
        QVERIFY(rig.keys.release(menu));
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), QStringList{QStringLiteral("recorded cycle 63 0 modifier-only")});
    }

    void secondaryHotkeysSwitchOnlyInsideTheWindow_data()
    {
        QTest::addColumn<Hotkey>("secondary");
        QTest::addColumn<QList<int>>("gesture"); // keys pressed in order, then released in reverse
        QTest::addColumn<QString>("report");
        QTest::newRow("ask key") << altSpace << QList<int>{leftAlt, space} << QStringLiteral("switch ask");
        QTest::newRow("ask chord") << Hotkey{leftShift, 0x60000, true} << QList<int>{leftCtrl, leftShift}
                                   << QStringLiteral("switch ask");
        QTest::newRow("ask lone Menu") << menuAlone << QList<int>{menu} << QStringLiteral("switch ask");
    }

    void secondaryHotkeysSwitchOnlyInsideTheWindow()
    {
        QFETCH(Hotkey, secondary);
        QFETCH(QList<int>, gesture);
        QFETCH(QString, report);
        Rig rig;
        rig.bind(QStringLiteral("talk"), Hotkey{f5, 0, false});
        rig.engine.setPrimaryHotkey(Hotkey{f5, 0, false});
        rig.engine.setAskHotkey(secondary);
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
        rig.engine.setAskHotkey(altSpace);
        rig.engine.setTranslateHotkey(Hotkey{keyT, 0x80000, false});
        rig.engine.start();
        rig.startDictation();
        rig.keys.press(leftAlt);
        QVERIFY(rig.keys.press(keyT));
        QVERIFY(rig.keys.repeat(keyT));
        QVERIFY(rig.keys.release(keyT));
        QVERIFY(rig.keys.press(space));
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("switch translate"), QStringLiteral("switch ask")}));
        QVERIFY(rig.keys.release(space));
        rig.keys.release(leftAlt);
        // After the window the secondary key acts as its own binding.
        rig.bind(QStringLiteral("ask"), altSpace);
        rig.clock.advance(1s);
        rig.keys.press(leftAlt);
        QVERIFY(rig.keys.press(space));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("ask down")});
    }

    void secondaryEqualToTalkNeverSwitches()
    {
        Rig rig;
        rig.bind(QStringLiteral("talk"), altSpace);
        rig.engine.setPrimaryHotkey(altSpace);
        rig.engine.setAskHotkey(altSpace);
        rig.engine.start();
        rig.startDictation();
        rig.keys.press(leftAlt);
        QVERIFY(rig.keys.press(space));
        QVERIFY(rig.keys.release(space));
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("talk down"), QStringLiteral("talk up")}));
        const auto grabs = rig.keys.grabs();
        QCOMPARE(std::count(grabs.keys.begin(), grabs.keys.end(), KeyGrab{space, 0x80000}), 1);
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

        rig.engine.setOnCancel({});
        QVERIFY(rig.keys.press(esc)); // swallowed even with nobody listening
        rig.keys.release(esc);

        rig.engine.setRecordingActive(false);
        QVERIFY(!rig.keys.press(esc));
        QCOMPARE(rig.take(), QStringList());
    }

    void recordingGestures_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("script"); // "+k" press, "-k" release
        QTest::addColumn<QStringList>("expected");
        const auto k = [](int code) { return QString::number(code); };
        QTest::newRow("Ctrl+Alt chord") << QStringLiteral("talk")
                                        << QStringList{"+" + k(leftCtrl), "+" + k(leftAlt), "-" + k(leftAlt),
                                                       "-" + k(leftCtrl)}
                                        << QStringList{QStringLiteral("recorded talk 58 c0000 modifier-only")};
        QTest::newRow("lone right Shift")
            << QStringLiteral("talk") << QStringList{"+" + k(rightShift), "-" + k(rightShift)}
            << QStringList{QStringLiteral("recorded talk 60 0 modifier-only")};
        QTest::newRow("both Shifts are one family")
            << QStringLiteral("talk")
            << QStringList{"+" + k(leftShift), "+" + k(rightShift), "-" + k(leftShift), "-" + k(rightShift)}
            << QStringList{QStringLiteral("recorded talk 56 0 modifier-only")};
        QTest::newRow("bare A is no talk key")
            << QStringLiteral("talk") << QStringList{"+" + k(keyA), "-" + k(keyA)} << QStringList{};
        QTest::newRow("bare A is an ask key") << QStringLiteral("ask") << QStringList{"+" + k(keyA)}
                                              << QStringList{QStringLiteral("recorded ask 0 0 key")};
        QTest::newRow("bare F5 for any id") << QStringLiteral("cycle") << QStringList{"+" + k(f5)}
                                            << QStringList{QStringLiteral("recorded cycle 96 0 key")};
        QTest::newRow("Ctrl+Shift+K") << QStringLiteral("talk")
                                      << QStringList{"+" + k(leftCtrl), "+" + k(leftShift), "+" + k(keyK)}
                                      << QStringList{QStringLiteral("recorded talk 40 60000 key")};
        QTest::newRow("Esc abandons") << QStringLiteral("talk")
                                      << QStringList{"+" + k(leftCtrl), "+" + k(esc), "-" + k(esc), "+" + k(f5)}
                                      << QStringList{};
        QTest::newRow("key up alone does nothing")
            << QStringLiteral("talk") << QStringList{"-" + k(keyT)} << QStringList{};
    }

    void recordingGestures()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, script);
        QFETCH(QStringList, expected);
        Rig rig;
        rig.bind(QStringLiteral("talk"), altSpace);
        rig.engine.start();
        rig.engine.beginRecording(id);
        QVERIFY(rig.keys.grabs().wholeKeyboard);
        for (const QString& step : script) {
            const int code = step.mid(1).toInt();
            const bool swallowed = step.startsWith(QLatin1Char('+')) ? rig.keys.press(code) : rig.keys.release(code);
            if (rig.take().isEmpty() && !swallowed && rig.engine.isHotkeyRecording())
                QFAIL(qPrintable(QStringLiteral("%1 escaped the recording").arg(step)));
        }
        // The report comes later, on the engine's thread.
        QCOMPARE(rig.take(), QStringList());
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), expected);
        const bool ended = !expected.isEmpty() || script.contains("+" + QString::number(esc));
        QCOMPARE(rig.engine.isHotkeyRecording(), !ended);
        QCOMPARE(rig.keys.grabs().wholeKeyboard, !ended);
    }

    void recordedHotkeyTakesEffectAtOnce()
    {
        Rig rig;
        rig.bind(QStringLiteral("talk"), altSpace);
        rig.engine.start();
        rig.engine.beginRecording(QStringLiteral("talk"));
        rig.keys.press(leftCtrl);
        QVERIFY(rig.keys.press(keyT));
        rig.keys.release(keyT);
        rig.keys.release(leftCtrl);
        QCOMPARE(rig.keys.grabs().keys, (std::vector<KeyGrab>{{keyT, 0x40000}}));
        rig.keys.press(leftCtrl);
        QVERIFY(rig.keys.press(keyT));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk down")});
    }

    void modifierHeldBeforeRecordingIsRecordedByItsRelease()
    {
        Rig rig;
        rig.engine.start();
        rig.keys.press(rightShift);
        rig.engine.beginRecording(QStringLiteral("talk"));
        QVERIFY(rig.keys.release(rightShift));
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), QStringList{QStringLiteral("recorded talk 60 0 modifier-only")});
    }

    void cancelledRecordingReportsNothing()
    {
        Rig rig;
        rig.engine.start();
        rig.engine.beginRecording(QStringLiteral("ask"));
        rig.keys.press(leftCtrl);
        rig.engine.cancelRecording();
        QVERIFY(!rig.keys.grabs().wholeKeyboard);
        QVERIFY(!rig.keys.release(leftCtrl));
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), QStringList());
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
        rig.bind(QStringLiteral("talk"), altSpace);
        rig.bind(QStringLiteral("cycle"), menuAlone);
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
        QCOMPARE(rig.take(), (QStringList{QStringLiteral("cycle up"), QStringLiteral("talk up")}));
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

    void grabsFollowTheState()
    {
        Rig rig;
        rig.bind(QStringLiteral("talk"), altSpace);
        rig.bind(QStringLiteral("cycle"), ctrlAltChord); // a chord cannot be grabbed
        rig.bind(QStringLiteral("none"), std::nullopt);
        rig.bind(QStringLiteral("huge"), Hotkey{(qint64(1) << 32) + keyT, 0, false}); // no wrap onto T
        rig.engine.setAskHotkey(Hotkey{keyA, 0x80000, false});
        rig.engine.setRewriteHotkey(menuAlone);
        rig.engine.start();
        QCOMPARE(rig.keys.grabs(), (KeyGrabRequest{{{space, 0x80000}}, false}));

        rig.startDictation();
        QCOMPARE(rig.keys.grabs(), (KeyGrabRequest{{{space, 0x80000}, {esc, 0}, {keyA, 0x80000}}, false}));
        const int changes = rig.keys.grabChanges();
        rig.clock.advance(999ms);
        QCOMPARE(rig.keys.grabChanges(), changes);
        rig.clock.advance(1ms); // the window closes: the source is told to grab again
        QCOMPARE(rig.keys.grabChanges(), changes + 1);
        QCOMPARE(rig.keys.grabs(), (KeyGrabRequest{{{space, 0x80000}, {esc, 0}}, false}));

        rig.engine.setRecordingActive(false);
        QCOMPARE(rig.keys.grabs(), (KeyGrabRequest{{{space, 0x80000}}, false}));
        rig.engine.updateHotkey(QStringLiteral("talk"), std::nullopt);
        rig.engine.updateHotkey(QStringLiteral("unknown"), Hotkey{keyT, 0, false});
        QCOMPARE(rig.keys.grabs(), KeyGrabRequest{});
    }

    void grabFailuresAreExposed()
    {
        Rig rig;
        rig.bind(QStringLiteral("talk"), altSpace);
        rig.engine.start();
        QSignalSpy updated(&rig.engine, &HotkeyEngine::grabsUpdated);
        const KeyGrabFailures failures{{{space, 0x80000}}, false};
        rig.keys.reportFailures(failures);
        QVERIFY(updated.wait(1000));
        QCOMPARE(rig.engine.grabFailures(), failures);
        rig.keys.reportFailures({});
        QVERIFY(updated.wait(1000));
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

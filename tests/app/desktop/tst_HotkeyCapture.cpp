#include "tests/app/desktop/HotkeyRig.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestHotkeyCapture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void captureGestures_data()
    {
        QTest::addColumn<HotkeyUse>("use");
        QTest::addColumn<QStringList>("script"); // "+k" press, "-k" release
        QTest::addColumn<QStringList>("expected");
        const auto k = [](int code) { return QString::number(code); };
        QTest::newRow("Ctrl+Alt chord") << HotkeyUse::talk
                                        << QStringList{"+" + k(leftCtrl), "+" + k(leftAlt), "-" + k(leftAlt),
                                                       "-" + k(leftCtrl)}
                                        << QStringList{QStringLiteral("captured talk 58 c0000 modifier-only")};
        QTest::newRow("lone right Shift") << HotkeyUse::talk << QStringList{"+" + k(rightShift), "-" + k(rightShift)}
                                          << QStringList{QStringLiteral("captured talk 60 0 modifier-only")};
        QTest::newRow("both Shifts are one family")
            << HotkeyUse::talk
            << QStringList{"+" + k(leftShift), "+" + k(rightShift), "-" + k(leftShift), "-" + k(rightShift)}
            << QStringList{QStringLiteral("captured talk 56 0 modifier-only")};
        QTest::newRow("bare A is no talk key")
            << HotkeyUse::talk << QStringList{"+" + k(keyA), "-" + k(keyA)} << QStringList{};
        QTest::newRow("bare A is an ask key")
            << HotkeyUse::ask << QStringList{"+" + k(keyA)} << QStringList{QStringLiteral("captured ask 0 0 key")};
        QTest::newRow("bare F5 for any use")
            << HotkeyUse::cycle << QStringList{"+" + k(f5)} << QStringList{QStringLiteral("captured cycle 96 0 key")};
        QTest::newRow("Ctrl+Shift+K") << HotkeyUse::talk
                                      << QStringList{"+" + k(leftCtrl), "+" + k(leftShift), "+" + k(keyK)}
                                      << QStringList{QStringLiteral("captured talk 40 60000 key")};
        QTest::newRow("Esc abandons") << HotkeyUse::talk
                                      << QStringList{"+" + k(leftCtrl), "+" + k(esc), "-" + k(esc), "+" + k(f5)}
                                      << QStringList{};
        QTest::newRow("key up alone does nothing") << HotkeyUse::talk << QStringList{"-" + k(keyT)} << QStringList{};
    }

    void captureGestures()
    {
        QFETCH(HotkeyUse, use);
        QFETCH(QStringList, script);
        QFETCH(QStringList, expected);
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        rig.engine.start();
        rig.engine.beginCapture(use);
        QVERIFY(rig.keys.grabs().wholeKeyboard);
        for (const QString& step : script) {
            const int code = step.mid(1).toInt();
            const bool swallowed = step.startsWith(QLatin1Char('+')) ? rig.keys.press(code) : rig.keys.release(code);
            if (rig.take().isEmpty() && !swallowed && rig.engine.isCapturing())
                QFAIL(qPrintable(QStringLiteral("%1 escaped the capture").arg(step)));
        }
        // The report comes later, on the engine's thread.
        QCOMPARE(rig.take(), QStringList());
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), expected);
        const bool ended = !expected.isEmpty() || script.contains("+" + QString::number(esc));
        QCOMPARE(rig.engine.isCapturing(), !ended);
        QCOMPARE(rig.keys.grabs().wholeKeyboard, !ended);
    }

    // The engine keeps the hotkeys it is handed: a capture reports, and the old key stays the
    // talk key until the settings hand over the new one.
    void aCaptureOnlyReports()
    {
        Rig rig;
        rig.bind(HotkeyUse::talk, altSpace);
        rig.engine.start();
        rig.engine.beginCapture(HotkeyUse::talk);
        rig.keys.press(leftCtrl);
        QVERIFY(rig.keys.press(keyT));
        rig.keys.release(keyT);
        rig.keys.release(leftCtrl);
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), QStringList{QStringLiteral("captured talk 17 40000 key")});
        QCOMPARE(rig.keys.grabs().keys, (std::vector<KeyGrab>{{space, 0x80000}}));
        rig.bind(HotkeyUse::talk, Hotkey{keyT, 0x40000, false});
        rig.keys.press(leftCtrl);
        QVERIFY(rig.keys.press(keyT));
        QCOMPARE(rig.take(), QStringList{QStringLiteral("talk down")});
    }

    void modifierHeldBeforeCaptureIsCapturedByItsRelease()
    {
        Rig rig;
        rig.engine.start();
        rig.keys.press(rightShift);
        rig.engine.beginCapture(HotkeyUse::talk);
        QVERIFY(rig.keys.release(rightShift));
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), QStringList{QStringLiteral("captured talk 60 0 modifier-only")});
    }

    void cancelledCaptureReportsNothing()
    {
        Rig rig;
        rig.engine.start();
        rig.engine.beginCapture(HotkeyUse::ask);
        rig.keys.press(leftCtrl);
        rig.engine.cancelCapture();
        QVERIFY(!rig.keys.grabs().wholeKeyboard);
        QVERIFY(!rig.keys.release(leftCtrl));
        QCoreApplication::processEvents();
        QCOMPARE(rig.take(), QStringList());
    }
};

MURMO_TEST(TestHotkeyCapture)
#include "tst_HotkeyCapture.moc"

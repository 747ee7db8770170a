#include "platform/HotkeyNames.h"
#include "platform/linux/x11/X11KeyMap.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestX11KeyMap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every key the program has a name for sits on exactly one X key, and back.
    void everyNamedKeyHasOnePosition()
    {
        QList<int> codes = HotkeyNames::modifierKeyCodes().values();
        codes += HotkeyNames::special().keys();
        codes += HotkeyNames::ansi().keys();
        QCOMPARE(codes.size(), 78);
        QSet<int> positions;
        for (const int code : codes) {
            const auto x = X11KeyMap::xKeyCode(code);
            QVERIFY2(x.has_value(), qPrintable(QString::number(code)));
            QCOMPARE(X11KeyMap::programKeyCode(*x), code);
            positions.insert(*x);
        }
        QCOMPARE(positions.size(), codes.size());
    }

    // X key codes are evdev codes + 8 on every server that uses the evdev or libinput driver.
    void positions_data()
    {
        QTest::addColumn<int>("xKeyCode");
        QTest::addColumn<int>("programKeyCode");
        QTest::newRow("Escape") << 9 << 53;
        QTest::newRow("A") << 38 << 0;
        QTest::newRow("T") << 28 << 17;
        QTest::newRow("Space") << 65 << 49;
        QTest::newRow("grave") << 49 << 50;
        QTest::newRow("F5") << 71 << 96;
        QTest::newRow("F11") << 95 << 103;
        QTest::newRow("up arrow") << 111 << 126;
        QTest::newRow("Control_L") << 37 << 59;
        QTest::newRow("Shift_R") << 62 << 60;
        QTest::newRow("Alt_R / AltGr") << 108 << 61;
        QTest::newRow("Super_L") << 133 << 55;
        QTest::newRow("Menu") << 135 << 63;
    }

    void positions()
    {
        QFETCH(int, xKeyCode);
        QFETCH(int, programKeyCode);
        QCOMPARE(X11KeyMap::programKeyCode(xKeyCode), programKeyCode);
    }

    void unknownKeysHaveNoCode()
    {
        QCOMPARE(X11KeyMap::programKeyCode(0), std::nullopt);
        QCOMPARE(X11KeyMap::programKeyCode(118), std::nullopt); // Insert
        QCOMPARE(X11KeyMap::programKeyCode(300), std::nullopt);
        QCOMPARE(X11KeyMap::xKeyCode(105), std::nullopt);
        QCOMPARE(X11KeyMap::xKeyCode(-1), std::nullopt);
    }
};

MURMO_TEST(TestX11KeyMap)
#include "tst_X11KeyMap.moc"

#include "platform/Hotkey.h"
#include "platform/HotkeyNames.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

Q_DECLARE_METATYPE(Hotkey)

class TestHotkey : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedFormRoundTrips_data()
    {
        QTest::addColumn<Hotkey>("record");
        QTest::addColumn<QString>("stored");
        QTest::newRow("Alt+Space") << Hotkey{49, 0x80000, false}
                                   << QStringLiteral(R"({"isModifierOnly":false,"keyCode":49,"modifiers":524288})");
        QTest::newRow("Ctrl+Alt chord") << Hotkey{58, 0xC0000, true}
                                        << QStringLiteral(R"({"isModifierOnly":true,"keyCode":58,"modifiers":786432})");
        QTest::newRow("Menu alone") << Hotkey{63, 0, true}
                                    << QStringLiteral(R"({"isModifierOnly":true,"keyCode":63,"modifiers":0})");
        QTest::newRow("negative key code")
            << Hotkey{-7, 0, false} << QStringLiteral(R"({"isModifierOnly":false,"keyCode":-7,"modifiers":0})");
        QTest::newRow("largest values")
            << Hotkey{std::numeric_limits<qint64>::max(), quint64(std::numeric_limits<qint64>::max()), false}
            << QStringLiteral(
                   R"({"isModifierOnly":false,"keyCode":9223372036854775807,"modifiers":9223372036854775807})");
    }

    void storedFormRoundTrips()
    {
        QFETCH(Hotkey, record);
        QFETCH(QString, stored);
        QCOMPARE(encodeHotkey(record), stored);
        const auto decoded = hotkey(stored);
        QVERIFY(decoded.has_value());
        QCOMPARE(*decoded, record);
    }

    void decodingAcceptsAnyOrderAndExtraMembers()
    {
        const auto decoded =
            hotkey(QStringLiteral(R"( { "modifiers" : 262144, "extra": [1, {"x": null}], "isModifierOnly": false,
                                        "keyCode": 17 } )"));
        QVERIFY(decoded.has_value());
        QCOMPARE(*decoded, (Hotkey{17, 0x40000, false}));
    }

    void decodingRejectsWhatIsNotAHotkey_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty") << QString();
        QTest::newRow("empty object") << QStringLiteral("{}");
        QTest::newRow("no isModifierOnly") << QStringLiteral(R"({"keyCode":49,"modifiers":0})");
        QTest::newRow("no keyCode") << QStringLiteral(R"({"modifiers":0,"isModifierOnly":false})");
        QTest::newRow("no modifiers") << QStringLiteral(R"({"keyCode":49,"isModifierOnly":false})");
        QTest::newRow("fractional key code")
            << QStringLiteral(R"({"keyCode":1.5,"modifiers":0,"isModifierOnly":false})");
        QTest::newRow("key code as text") << QStringLiteral(R"({"keyCode":"1","modifiers":0,"isModifierOnly":false})");
        QTest::newRow("key code null") << QStringLiteral(R"({"keyCode":null,"modifiers":0,"isModifierOnly":false})");
        QTest::newRow("Boolean as 0") << QStringLiteral(R"({"keyCode":49,"modifiers":0,"isModifierOnly":0})");
        QTest::newRow("Boolean as 1") << QStringLiteral(R"({"keyCode":49,"modifiers":0,"isModifierOnly":1})");
        QTest::newRow("Boolean as text") << QStringLiteral(R"({"keyCode":49,"modifiers":0,"isModifierOnly":"true"})");
        QTest::newRow("negative modifiers")
            << QStringLiteral(R"({"keyCode":49,"modifiers":-1,"isModifierOnly":false})");
        QTest::newRow("fraction in exponent form")
            << QStringLiteral(R"({"keyCode":49,"modifiers":5e-1,"isModifierOnly":false})");
        QTest::newRow("key code beyond 64 bits")
            << QStringLiteral(R"({"keyCode":9223372036854775808,"modifiers":0,"isModifierOnly":false})");
        QTest::newRow("array") << QStringLiteral(R"([49,0,false])");
        QTest::newRow("truncated") << QStringLiteral(R"({"keyCode":49,"modifiers":0,"isModifierOnly":fal)");
        QTest::newRow("not JSON") << QStringLiteral("Alt+Space");
    }

    void decodingRejectsWhatIsNotAHotkey()
    {
        QFETCH(QString, stored);
        QCOMPARE(hotkey(stored), std::nullopt);
    }

    void encodingNothingOrTheUnstorableGivesTheEmptyString()
    {
        QCOMPARE(encodeHotkey(std::nullopt), QString());
        QCOMPARE(encodeHotkey(Hotkey{0, 0x8000000000000000ULL, false}), QString());
    }

    void display_data()
    {
        QTest::addColumn<Hotkey>("record");
        QTest::addColumn<QString>("text");
        QTest::newRow("all four on A") << Hotkey{0, 0x1E0000, false} << QStringLiteral("Ctrl+Alt+Shift+Super+A");
        QTest::newRow("all four alone") << Hotkey{0, 0x1E0000, true} << QStringLiteral("Ctrl+Alt+Shift+Super");
        QTest::newRow("Alt+Space") << Hotkey{49, 0x80000, false} << QStringLiteral("Alt+Space");
        QTest::newRow("Super+Shift order") << Hotkey{17, 0x120000, false} << QStringLiteral("Shift+Super+T");
        QTest::newRow("chord") << Hotkey{58, 0xC0000, true} << QStringLiteral("Ctrl+Alt");
        QTest::newRow("bare F5") << Hotkey{96, 0, false} << QStringLiteral("F5");
        QTest::newRow("Menu alone") << Hotkey{63, 0, true} << QStringLiteral("Menu");
        QTest::newRow("CapsLock alone") << Hotkey{57, 0, true} << QStringLiteral("CapsLock");
        QTest::newRow("right Shift alone") << Hotkey{60, 0, true} << QStringLiteral("右Shift");
        QTest::newRow("left Ctrl alone") << Hotkey{59, 0, true} << QStringLiteral("左Ctrl");
        QTest::newRow("63 as a key") << Hotkey{63, 0, false} << QStringLiteral("Key63");
        QTest::newRow("Esc") << Hotkey{53, 0, false} << QStringLiteral("Esc");
        QTest::newRow("Enter") << Hotkey{36, 0, false} << QStringLiteral("Enter");
        QTest::newRow("Backspace") << Hotkey{51, 0x40000, false} << QStringLiteral("Ctrl+Backspace");
        QTest::newRow("grave") << Hotkey{50, 0, false} << QStringLiteral("`");
        QTest::newRow("backslash") << Hotkey{42, 0, false} << QStringLiteral("\\");
        QTest::newRow("unnamed key") << Hotkey{105, 0x20000, false} << QStringLiteral("Shift+Key105");
        QTest::newRow("lone non-modifier") << Hotkey{12, 0, true} << QStringLiteral("Key12");
    }

    void display()
    {
        QFETCH(Hotkey, record);
        QFETCH(QString, text);
        QCOMPARE(record.display(), text);
    }

    void nameTablesAreComplete()
    {
        QCOMPARE(HotkeyNames::modifierKeyCodes().size(), 10);
        QCOMPARE(HotkeyNames::special().size(), 21);
        QCOMPARE(HotkeyNames::ansi().size(), 47);
        for (auto it = HotkeyNames::special().begin(); it != HotkeyNames::special().end(); ++it)
            QVERIFY2(!HotkeyNames::ansi().contains(it.key()), qPrintable(it.value()));
        QCOMPARE(HotkeyNames::key(17), QStringLiteral("T"));
        QCOMPARE(HotkeyNames::key(29), QStringLiteral("0"));
        QCOMPARE(HotkeyNames::key(39), QStringLiteral("'"));
        QCOMPARE(HotkeyNames::key(48), QStringLiteral("Tab"));
        QCOMPARE(HotkeyNames::key(126), QStringLiteral("↑"));
        QCOMPARE(HotkeyNames::key(111), QStringLiteral("F12"));
        QCOMPARE(HotkeyNames::key(-3), QStringLiteral("Key-3"));
        QCOMPARE(HotkeyNames::modifierOnly(54), QStringLiteral("右Super"));
        QCOMPARE(HotkeyNames::modifierOnly(61), QStringLiteral("右Alt"));
        QCOMPARE(HotkeyNames::modifierOnly(49), QStringLiteral("Key49"));
    }
};

MURMO_TEST(TestHotkey)
#include "tst_Hotkey.moc"

#include "core/text/ValidUtf16.h"
#include "tests/support/TestRegistry.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

QString units(std::initializer_list<char16_t> codeUnits)
{
    return QString(reinterpret_cast<const QChar*>(codeUnits.begin()), qsizetype(codeUnits.size()));
}

} // namespace

class TestValidUtf16 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void repaired_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        constexpr char16_t high = 0xD83D;
        constexpr char16_t low = 0xDE00;
        constexpr char16_t bad = 0xFFFD;
        QTest::newRow("valid text") << QStringLiteral("用gpt写 😀") << QStringLiteral("用gpt写 😀");
        QTest::newRow("lone high surrogate inside") << units({u'a', high, u'b'}) << units({u'a', bad, u'b'});
        QTest::newRow("lone high surrogate at the end") << units({u'a', high}) << units({u'a', bad});
        QTest::newRow("lone low surrogate at the start") << units({low, u'a'}) << units({bad, u'a'});
        QTest::newRow("pair in the wrong order") << units({low, high}) << units({bad, bad});
        QTest::newRow("pair after a lone high surrogate") << units({high, high, low}) << units({bad, high, low});
    }

    void repaired()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ValidUtf16::repaired(text), expected);
    }

    void everyStringOfADocumentIsRepaired()
    {
        QJsonParseError error;
        const QJsonDocument document =
            ValidUtf16::fromJson(R"({"text":"x\ud800","list":[1,"\udc00",{"k\ud800":"\ud83d\ude00"}]})", &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QString bad(QChar::ReplacementCharacter);
        const QJsonObject object = document.object();
        QCOMPARE(object.value("text").toString(), QStringLiteral("x") + bad);
        const QJsonArray list = object.value("list").toArray();
        QCOMPARE(list.at(0).toInt(), 1);
        QCOMPARE(list.at(1).toString(), bad);
        QCOMPARE(list.at(2).toObject().value(QStringLiteral("k") + bad).toString(), QStringLiteral("😀"));
    }
};

MURMO_TEST(TestValidUtf16)
#include "tst_ValidUtf16.moc"

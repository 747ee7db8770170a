#include "core/store/Lexicon.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using Pairs = QList<CorrectionPair>;

Q_DECLARE_METATYPE(CorrectionPair)

namespace QTest {
template <> char* toString(const CorrectionPair& pair)
{
    return QTest::toString(QStringLiteral("(%1 -> %2)").arg(pair.wrong, pair.right));
}
} // namespace QTest

class TestCorrections : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tokenize_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("tokens");

        QTest::newRow("mixed") << QStringLiteral("Hi，我用Mac 2台")
                               << QStringList{"Hi", "，", "我", "用", "Mac", "2", "台"};
        QTest::newRow("accented letter splits the word") << QStringLiteral("naïve") << QStringList{"na", "ï", "ve"};
        QTest::newRow("combining mark stays with its letter")
            << QStringLiteral("cafe\u0301s") << QStringList{"caf", "e\u0301", "s"};
        QTest::newRow("every kind of white space is dropped")
            << QStringLiteral(" a\u3000b\nc\r\n\td\u00a0") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("kana and Cyrillic are single characters")
            << QStringLiteral("かなДа") << QStringList{"か", "な", "Д", "а"};
        QTest::newRow("emoji with modifier is one token")
            << QStringLiteral("ok👍🏽") << QStringList{"ok", "👍🏽"};
        QTest::newRow("empty") << QString() << QStringList{};
    }

    void tokenize()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, tokens);
        QCOMPARE(Corrections::tokenize(text), tokens);
    }

    void extractCorrections_data()
    {
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("corrected");
        QTest::addColumn<Pairs>("pairs");

        QTest::newRow("identical") << QStringLiteral("我用扣的写") << QStringLiteral("我用扣的写") << Pairs{};
        QTest::newRow("both empty") << QString() << QString() << Pairs{};
        QTest::newRow("Han rendering of a Latin word")
            << QStringLiteral("我用扣的写") << QStringLiteral("我用cloud写") << Pairs{{"扣的", "cloud"}};
        QTest::newRow("one Han character")
            << QStringLiteral("打开北经地图") << QStringLiteral("打开北京地图") << Pairs{{"经", "京"}};
        QTest::newRow("Latin run joined without its blank")
            << QStringLiteral("meet at new york") << QStringLiteral("meet at New York")
            << Pairs{{"newyork", "NewYork"}};
        QTest::newRow("lengths too far apart") << QStringLiteral("ok") << QStringLiteral("okay sure") << Pairs{};
        QTest::newRow("appended word") << QStringLiteral("hello") << QStringLiteral("hello world") << Pairs{};
        QTest::newRow("deleted word") << QStringLiteral("hello world") << QStringLiteral("hello") << Pairs{};
        QTest::newRow("digit") << QStringLiteral("3点") << QStringLiteral("4点") << Pairs{{"3", "4"}};
        QTest::newRow("two runs in text order") << QStringLiteral("我在北经用扣的") << QStringLiteral("我在北京用cloud")
                                                << Pairs{{"经", "京"}, {"扣的", "cloud"}};
        QTest::newRow("20 characters is still a pair")
            << QStringLiteral("abcdefghijklmnopqrst") << QStringLiteral("ABCDEFGHIJKLMNOPQRST")
            << Pairs{{"abcdefghijklmnopqrst", "ABCDEFGHIJKLMNOPQRST"}};
        QTest::newRow("21 characters on the wrong side")
            << QStringLiteral("say abcdefghijklmnopqrstu") << QStringLiteral("say ABCDEFGHIJKLMNOPQRST") << Pairs{};
        QTest::newRow("21 characters on the right side")
            << QStringLiteral("say abcdefghijklmnopqrst") << QStringLiteral("say ABCDEFGHIJKLMNOPQRSTU") << Pairs{};
        QTest::newRow("balance within three characters")
            << QStringLiteral("a x b") << QStringLiteral("a wxyz b") << Pairs{{"x", "wxyz"}};
        QTest::newRow("balance beyond three characters")
            << QStringLiteral("a x b") << QStringLiteral("a vwxyz b") << Pairs{};
        QTest::newRow("case is a change")
            << QStringLiteral("use github") << QStringLiteral("use GitHub") << Pairs{{"github", "GitHub"}};
        QTest::newRow("ideographic space changes nothing")
            << QStringLiteral("你好\u3000世界") << QStringLiteral("你好世界") << Pairs{};
        QTest::newRow("canonically equivalent texts")
            << QStringLiteral("caf\u00e9 au lait") << QStringLiteral("cafe\u0301 au lait") << Pairs{};
    }

    void extractCorrections()
    {
        QFETCH(QString, original);
        QFETCH(QString, corrected);
        QFETCH(Pairs, pairs);
        QCOMPARE(Lexicon::extractCorrections(original, corrected), pairs);
    }

    void longTextsWithOneEditStillYieldThePair()
    {
        // Far beyond the alignment table's limit, but the edit is local.
        const QString before = QString(3000, QChar(u'好'));
        const QString after = QString(3000, QChar(u'天'));
        const QString original = before + QStringLiteral("北经") + after;
        const QString corrected = before + QStringLiteral("北京") + after;
        QCOMPARE(Lexicon::extractCorrections(original, corrected), (Pairs{{"经", "京"}}));
    }

    void longTextsWithEditsFarApartYieldEveryPair()
    {
        // The edits are far apart, so what lies between them is far beyond the alignment table.
        QString filler;
        for (int i = 0; filler.size() < 2500; ++i)
            filler += QStringLiteral("今天我们讨论了第%1个问题，").arg(i);
        const QString original = QStringLiteral("我用扣的写") + filler + QStringLiteral("打开北经地图") + filler;
        const QString corrected = QStringLiteral("我用cloud写") + filler + QStringLiteral("打开北京地图") + filler;
        QVERIFY(original.size() > 5000);
        QCOMPARE(Lexicon::extractCorrections(original, corrected), (Pairs{{"扣的", "cloud"}, {"经", "京"}}));
        // Latin words are joined without their blanks in long texts too.
        QCOMPARE(Lexicon::extractCorrections(QStringLiteral("meet at new york ") + filler + QStringLiteral("ok"),
                                             QStringLiteral("meet at New York ") + filler + QStringLiteral("OK")),
                 (Pairs{{"newyork", "NewYork"}, {"ok", "OK"}}));
    }

    void unrelatedLongTextsGiveNothing()
    {
        const QString original = QString(5000, QChar(u'甲'));
        const QString corrected = QString(5000, QChar(u'乙'));
        QCOMPARE(Lexicon::extractCorrections(original, corrected), Pairs{});
    }

    void isBadRule_data()
    {
        QTest::addColumn<QString>("wrong");
        QTest::addColumn<QString>("right");
        QTest::addColumn<bool>("bad");

        QTest::newRow("seven Han characters") << QStringLiteral("北京天安门广场") << QStringLiteral("北京") << true;
        QTest::newRow("six Han characters")
            << QStringLiteral("北京天安门场") << QStringLiteral("北京天安门广场") << false;
        QTest::newRow("punctuation in a Chinese wrong") << QStringLiteral("北京，") << QStringLiteral("北京市") << true;
        QTest::newRow("ellipsis in a Chinese wrong") << QStringLiteral("北京…") << QStringLiteral("北京市") << true;
        QTest::newRow("no shared Han character") << QStringLiteral("北经") << QStringLiteral("南京") << true;
        QTest::newRow("shared Han character") << QStringLiteral("北经") << QStringLiteral("北京") << false;
        QTest::newRow("differ only by blanks") << QStringLiteral(" teh ") << QStringLiteral("teh") << true;
        QTest::newRow("differ only by line ends") << QStringLiteral("北经\n") << QStringLiteral("\u3000北经") << true;
        QTest::newRow("Latin rule") << QStringLiteral("teh") << QStringLiteral("the") << false;
        QTest::newRow("Latin wrong, Han right") << QStringLiteral("ab") << QStringLiteral("北京") << false;
        QTest::newRow("Han wrong, Latin right") << QStringLiteral("扣的") << QStringLiteral("cloud") << false;
        QTest::newRow("single Han character") << QStringLiteral("经") << QStringLiteral("京") << true;
        QTest::newRow("single Latin character") << QStringLiteral("a") << QStringLiteral("b") << false;
        QTest::newRow("empty wrong") << QString() << QStringLiteral("x") << true;
        QTest::newRow("blank right") << QStringLiteral("x") << QStringLiteral(" \u3000") << true;
        QTest::newRow("banned phrase in wrong") << QStringLiteral("我知道要") << QStringLiteral("我知道") << true;
        QTest::newRow("banned phrase in right") << QStringLiteral("abc") << QStringLiteral("知道要") << true;
        QTest::newRow("canonically equal sides") << QStringLiteral("caf\u00e9") << QStringLiteral("cafe\u0301") << true;
        QTest::newRow("trimmed before the single-character test")
            << QStringLiteral("\u3000经 ") << QStringLiteral("京") << true;
    }

    void isBadRule()
    {
        QFETCH(QString, wrong);
        QFETCH(QString, right);
        QFETCH(bool, bad);
        QCOMPARE(Lexicon::isBadRule(wrong, right), bad);
    }
};

MURMO_TEST(TestCorrections)
#include "tst_Corrections.moc"

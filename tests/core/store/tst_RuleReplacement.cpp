#include "core/store/RuleReplacement.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestRuleReplacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void expandTemplate_data()
    {
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("expanded");

        QTest::newRow("plain") << "GPT"
                               << "GPT";
        QTest::newRow("group 0") << "[$0]"
                                 << "[gpt]";
        QTest::newRow("group 0 with leading zeros") << "$00$000"
                                                    << "gptgpt";
        QTest::newRow("digit after group 0 is text") << "$01"
                                                     << "gpt1";
        QTest::newRow("no such group") << "$1$9"
                                       << "$1$9";
        QTest::newRow("dollar before a letter") << "US$ $x"
                                                << "US$ $x";
        QTest::newRow("dollar at the end") << "5$"
                                           << "5$";
        QTest::newRow("escaped dollar") << "\\$0"
                                        << "$0";
        QTest::newRow("escaped backslash then group") << "\\\\$0"
                                                      << "\\gpt";
        QTest::newRow("escaped letter") << "\\n"
                                        << "n";
        QTest::newRow("lone trailing backslash") << "gpt\\"
                                                 << "gpt";
        QTest::newRow("Han text") << "用$0写"
                                  << "用gpt写";
    }

    void expandTemplate()
    {
        QFETCH(QString, replacement);
        QFETCH(QString, expanded);
        QCOMPARE(RuleReplacement::expandTemplate(replacement, u"gpt"), expanded);
    }

    void wordPatternMatchesOnlyWholeWords_data()
    {
        QTest::addColumn<QString>("wrong");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("regex characters are literal") << "a.b"
                                                      << "a.b axb"
                                                      << "X axb";
        QTest::newRow("leading punctuation needs a word character before") << ".net"
                                                                           << "asp.net .net"
                                                                           << "aspX .net";
        QTest::newRow("underscore is a word character") << "id"
                                                        << "user_id id"
                                                        << "user_id X";
        QTest::newRow("Cyrillic is a word character") << "ok"
                                                      << "окok ok"
                                                      << "окok X";
        QTest::newRow("supplementary Han is a word character") << "ok"
                                                               << "𠀀ok ok"
                                                               << "𠀀ok X";
        QTest::newRow("full-width digits are word characters") << "ok"
                                                               << "１ok ok"
                                                               << "１ok X";
        QTest::newRow("emoji is not a word character") << "ok"
                                                       << "👍ok"
                                                       << "👍X";
        QTest::newRow("ideographic space is not a word character") << "ok"
                                                                   << "好\u3000ok\u3000好"
                                                                   << "好\u3000X\u3000好";
    }

    void wordPatternMatchesOnlyWholeWords()
    {
        QFETCH(QString, wrong);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QRegularExpression pattern = RuleReplacement::wordPattern(wrong);
        QVERIFY(pattern.isValid());
        QCOMPARE(RuleReplacement::replaceWords(text, pattern, "X"), expected);
    }
};

MURMO_TEST(TestRuleReplacement)
#include "tst_RuleReplacement.moc"

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
        QTest::newRow("leading punctuation needs no letter before") << ".net"
                                                                    << "asp.net .net"
                                                                    << "asp.net X";
        QTest::newRow("underscore is not a letter") << "id"
                                                    << "user_id id"
                                                    << "user_X X";
        QTest::newRow("Cyrillic ends a Latin word") << "ok"
                                                    << "окok ok"
                                                    << "окX X";
        QTest::newRow("supplementary Han ends a Latin word") << "ok"
                                                             << "𠀀ok ok"
                                                             << "𠀀X X";
        QTest::newRow("accented Latin letter continues the word") << "ok"
                                                                  << "Éok okñ ok"
                                                                  << "Éok okñ X";
        QTest::newRow("combining mark continues the word") << "ok"
                                                           << "ok\u0301 ok"
                                                           << "ok\u0301 X";
        QTest::newRow("full-width digits continue the word") << "ok"
                                                             << "１ok ok"
                                                             << "１ok X";
        QTest::newRow("emoji is not part of a word") << "ok"
                                                     << "👍ok"
                                                     << "👍X";
        QTest::newRow("ideographic space is not part of a word") << "ok"
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

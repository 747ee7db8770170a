#include "core/text/CustomRule.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestCustomRule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fromAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("rule");

        const QString rule = QStringLiteral("数字一律用阿拉伯数字");
        QTest::newRow("one line") << rule << rule;
        QTest::newRow("blanks and line ends around it")
            << QStringLiteral("\n\u3000 ") + rule + QStringLiteral(" \n") << rule;
        QTest::newRow("an explanation after the rule")
            << rule + QStringLiteral("\n\n说明：用户希望数字统一，便于阅读。\n- 例如 3 个") << rule;
        QTest::newRow("Windows line ends") << QStringLiteral("\r\n") + rule + QStringLiteral("\r\n第二行") << rule;
        QTest::newRow("a line separator") << rule + QStringLiteral("\u2028第二行") << rule;
        QTest::newRow("blank answer") << QStringLiteral(" \n\t\n") << QString();
        QTest::newRow("a long line is cut")
            << QString(70, QChar(u'长')) << QString(CustomRule::kMaxLength, QChar(u'长'));
        QTest::newRow("the cut keeps whole characters") << QString(59, QChar(u'长')) + QStringLiteral("👍🏽尾")
                                                        << QString(59, QChar(u'长')) + QStringLiteral("👍🏽");
    }

    void fromAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(QString, rule);
        QCOMPARE(CustomRule::fromAnswer(answer), rule);
    }
};

MURMO_TEST(TestCustomRule)
#include "tst_CustomRule.moc"

#include "core/text/CustomRuleList.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestCustomRuleList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void itemsAreTrimmedNonEmptyLines_data()
    {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("empty") << QString() << QStringList{};
        QTest::newRow("blank lines and padding") << QStringLiteral("\n  句末不加句号\t\n\n\t \n数字用阿拉伯数字  \n")
                                                 << QStringList{"句末不加句号", "数字用阿拉伯数字"};
        QTest::newRow("inner spaces kept") << QStringLiteral("use  two spaces") << QStringList{"use  two spaces"};
        QTest::newRow("full-width space is not trimmed") << QStringLiteral("\u3000规则") << QStringList{"\u3000规则"};
    }

    void itemsAreTrimmedNonEmptyLines()
    {
        QFETCH(QString, notes);
        QFETCH(QStringList, items);
        QCOMPARE(CustomRuleList::items(notes), items);
    }

    void removingAndAddingRewriteTheText()
    {
        const QString notes = QStringLiteral(" 甲\n\n乙 \n甲\n");
        QCOMPARE(CustomRuleList::without(notes, QStringLiteral("甲")), QStringLiteral("乙"));
        QCOMPARE(CustomRuleList::without(notes, QStringLiteral("丙")), QStringLiteral("甲\n乙\n甲"));
        QCOMPARE(CustomRuleList::with(QStringLiteral("甲\n乙\n"), QStringLiteral("乙")), QStringLiteral("甲\n乙"));
        QCOMPARE(CustomRuleList::with(QString(), QStringLiteral("丙")), QStringLiteral("丙"));
    }
};

MURMO_TEST(TestCustomRuleList)
#include "tst_CustomRuleList.moc"

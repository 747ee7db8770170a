#include "core/store/WordList.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestWordList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Words on either side of a chunk's end read back as written, in a list whose chunks are laid
    // out as they should be; a copy taken halfway keeps its words while the original grows on.
    void keepsEveryWordAcrossChunks_data()
    {
        QTest::addColumn<int>("count");
        for (const int count : {0, 1, 4095, 4096, 4097, 10000})
            QTest::addRow("%d", count) << count;
    }
    void keepsEveryWordAcrossChunks()
    {
        QFETCH(int, count);
        const auto wordOf = [](int i) { return i % 3 == 0 ? QString() : QStringLiteral("词%1").arg(i); };
        WordList list;
        WordList copy;
        for (int i = 0; i < count; ++i) {
            if (i == count / 2)
                copy = list;
            list.append(wordOf(i));
        }
        QVERIFY2(list.fault().isEmpty(), qPrintable(list.fault()));
        QVERIFY2(copy.fault().isEmpty(), qPrintable(copy.fault()));
        QCOMPARE(list.size(), count);
        QCOMPARE(copy.size(), count / 2);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(list.at(i), wordOf(i));
            if (i < copy.size())
                QCOMPARE(copy.at(i), wordOf(i));
        }
        QCOMPARE(WordList(list.toStringList()), list);
    }
};

MURMO_TEST(TestWordList)
#include "tst_WordList.moc"

#include "core/text/KeyTable.h"
#include "tests/support/TestRegistry.h"

#include <QHash>
#include <QRandomGenerator>
#include <QTest>

class TestKeyTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Keys come and go at random, few enough that most come back after being removed, some of
    // them lent from the table's words, which only grow: the table must find what a plain hash
    // holds, whatever its index grew to, the slots its removals shifted and the buffer it packed.
    void holdsWhatAHashHolds()
    {
        KeyTable<int> table(WordList({QStringLiteral("key1"), QStringLiteral("词3")}));
        QHash<QString, int> model;
        QRandomGenerator random(7);
        const auto keyOf = [](quint32 n) {
            return n % 3 == 0 ? QStringLiteral("词%1").arg(n)
                              : QStringLiteral("key%1").arg(n, int(n % 5), 10, QChar('0'));
        };
        for (int step = 0; step < 60000; ++step) {
            if (step % 500 == 0)
                QVERIFY2(table.fault().isEmpty(), qPrintable(table.fault()));
            const QString key = keyOf(random.bounded(3000u));
            if (random.bounded(3) == 0) {
                if (const qsizetype entry = table.indexOf(key); entry >= 0)
                    table.removeAt(entry);
                model.remove(key);
            } else {
                qsizetype entry = -1;
                if (random.bounded(2) == 0) {
                    entry = table.insertLent(table.appendLent(key));
                } else {
                    entry = table.insert(key);
                }
                QCOMPARE(table.key(entry), key);
                table.value(entry) += 1;
                model[key] += 1;
            }
        }
        QVERIFY2(table.fault().isEmpty(), qPrintable(table.fault()));
        QCOMPARE(table.size(), model.size());
        for (quint32 n = 0; n < 3000; ++n) {
            const QString key = keyOf(n);
            const qsizetype entry = table.indexOf(key);
            QCOMPARE(entry >= 0, model.contains(key));
            if (entry >= 0)
                QCOMPARE(table.value(entry), model.value(key));
        }
        QCOMPARE(table.indexOf(QString()), -1);
        table.value(table.insert(QString())) = 5;
        QCOMPARE(table.value(table.indexOf(QString())), 5);
        // A copy reads its keys from its own words, whatever the original lends from next.
        KeyTable<int> copy = table;
        table.insertLent(table.appendLent(QStringLiteral("later")));
        for (quint32 n = 0; n < 3000; ++n)
            QCOMPARE(copy.indexOf(keyOf(n)) >= 0, model.contains(keyOf(n)));
    }
};

MURMO_TEST(TestKeyTable)
#include "tst_KeyTable.moc"

#include "core/text/ComparedText.h"
#include "core/text/HotwordMatcher.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestHotwordMatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Hundreds of rules may share one right: the word stays known until the last of them goes,
    // however many that is.
    void aWordListedManyTimesStaysUntilItsLastGoes()
    {
        HotwordMatcher matcher;
        const QString word = QStringLiteral("Kubernetes");
        const ComparedText text(QStringLiteral("kubernetes"), true);
        for (int i = 0; i < 300; ++i)
            matcher.add(word);
        for (int i = 0; i < 299; ++i)
            matcher.remove(word);
        QVERIFY(matcher.lists(word));
        QCOMPARE(matcher.longestWordAt(text, 0), text.size());
        QCOMPARE(matcher.runWordAt(text, 0)->lowered, QStringLiteral("kubernetes"));
        matcher.remove(word);
        QVERIFY(!matcher.lists(word));
        QCOMPARE(matcher.longestWordAt(text, 0), 0);
        QVERIFY(matcher.isEmpty());
    }

    // Appended words are kept in order, and found by the same keys as added ones, whether their
    // key is their own text (lent from the list) or not; a copy keeps the list as it was.
    void appendedWordsAreItsListAndItsWords()
    {
        const QStringList listed{"kubernetes", "Grafana", " helm ", "西湖", "kubectl"};
        WordList first;
        first.append(listed[0]);
        first.append(listed[1]);
        HotwordMatcher matcher(first);
        for (const QString& word : listed.sliced(2))
            matcher.append(word);
        matcher.add(QStringLiteral("Kubectl"));
        matcher.add(QStringLiteral("prometheus"));
        for (int i = 0; i < 100; ++i)
            matcher.append(QStringLiteral("term%1").arg(i));
        matcher.remove(QStringLiteral("Kubectl"));
        matcher.remove(QStringLiteral("prometheus"));

        const HotwordMatcher before = matcher;
        matcher.append(QStringLiteral("loki"));
        QCOMPARE(before.words().toStringList().first(listed.size()), listed);
        QCOMPARE(before.words().size(), listed.size() + 100);
        QCOMPARE(matcher.words().at(matcher.words().size() - 1), QStringLiteral("loki"));
        QVERIFY(!before.lists(QStringLiteral("loki")));
        QVERIFY(!matcher.lists(QStringLiteral("prometheus")));
        for (const QString& word : listed + QStringList{"term0", "TERM99", "loki"}) {
            QVERIFY2(matcher.lists(word), qPrintable(word));
            const ComparedText text(word + QStringLiteral("说"), true);
            QCOMPARE(matcher.longestWordAt(text, 0), ComparedText(word, true).size());
            QCOMPARE(matcher.runWordAt(text, word.indexOf(word.trimmed()))->lowered, word.trimmed().toLower());
        }
    }
};

MURMO_TEST(TestHotwordMatcher)
#include "tst_HotwordMatcher.moc"

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
};

MURMO_TEST(TestHotwordMatcher)
#include "tst_HotwordMatcher.moc"

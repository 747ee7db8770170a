#include "core/store/Lexicon.h"
#include "core/text/HotwordMatcher.h"
#include "tests/core/store/LexiconFixtures.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <atomic>

using namespace LexiconFixtures;

namespace {

// A lexicon whose first write stops right after it took what it writes, as one encoding a large
// lexicon for long would be, until told to go on.
class HeldWriteLexicon : public Lexicon
{
public:
    using Lexicon::Lexicon;

    QSemaphore taken;
    QSemaphore go;

protected:
    void writeTaken() override
    {
        if (m_holding.exchange(false)) {
            taken.release();
            go.acquire();
        }
    }

private:
    std::atomic_bool m_holding = true;
};

QString lettersOf(int n)
{
    QString word;
    for (int digit = 0; digit < 3; ++digit, n /= 26)
        word += QChar(u'a' + n % 26);
    return word;
}

} // namespace

class TestLexiconReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // While a write holds, every reader and every change completes, each seeing the lexicon as the
    // last change left it, and the next write holds them all.
    void nothingWaitsForAWrite()
    {
        QTemporaryDir dir;
        QList<RuleSpec> rules;
        for (int i = 0; i < 3000; ++i)
            rules.append({"w" + lettersOf(i) + "x", "R" + lettersOf(i), 0, "user_added", idNumber(i)});
        QVERIFY(writeFile(QDir(dir.path()).filePath(Lexicon::kFileName), document(rules)));
        HeldWriteLexicon lexicon(dir.path());
        lexicon.waitUntilLoaded();
        QCOMPARE(lexicon.apply("wfaax"), QString("Rfaa"));
        QVERIFY2(lexicon.taken.tryAcquire(1, 30000), "the write did not start");

        QFuture<QStringList> meanwhile = QtConcurrent::run([&lexicon] {
            QStringList seen{lexicon.topHotwords(1).join(""),
                             QString::number(lexicon.allRules().at(5).hitCount),
                             QString::number(lexicon.hotwordMatcher()->lists("Rfaa")),
                             QString::number(lexicon.listsHotword("Rgaa")),
                             QString::number(lexicon.asrHotwords().size()),
                             QString::number(lexicon.hotwords().size())};
            lexicon.addRule("addedx", "Added", "user_added");
            seen << lexicon.apply("wgaax") << QString::number(lexicon.exportSnapshot().value_or("").isEmpty());
            return seen;
        });
        const auto release = qScopeGuard([&] {
            lexicon.go.release();
            meanwhile.waitForFinished();
        });
        QTRY_VERIFY2_WITH_TIMEOUT(meanwhile.isFinished(), "a reader or a change waited for the write", 15000);
        QCOMPARE(meanwhile.result(), (QStringList{"Rfaa", "1", "1", "1", "48", "3000", "Rgaa", "0"}));
        QVERIFY(!lexicon.isSaved());
        lexicon.go.release();
        QVERIFY(lexicon.flush());
        const QList<LearnedRule> reread = Lexicon(dir.path()).allRules();
        QCOMPARE(reread.size(), 3001);
        QCOMPARE(reread.at(5).hitCount, 1);
        QCOMPARE(reread.at(6).hitCount, 1);
        QCOMPARE(reread.last().wrong, QString("addedx"));
    }
};

MURMO_TEST(TestLexiconReaders)
#include "tst_LexiconReaders.moc"

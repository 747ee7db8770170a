#include "core/store/Lexicon.h"
#include "tests/core/store/LexiconFixtures.h"
#include "tests/support/FakeFreedMemory.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {

QStringList wrongsOf(const Lexicon& lexicon)
{
    QStringList out;
    for (const LearnedRule& rule : lexicon.allRules())
        out.append(rule.wrong);
    return out;
}

} // namespace

class TestLexiconSaving : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Changes made while a write is under way (here, from the worker's own report of its first
    // write, before it is done) go out together in one more write, which holds every one of them.
    void changesDuringAWriteGoOutInOneMore()
    {
        QTemporaryDir dir;
        Lexicon lexicon(dir.path());
        QSignalSpy writes(&lexicon, &Lexicon::saveFinished);
        std::atomic_bool busyWhileWriting = false;
        std::atomic_bool applied = false;
        connect(
            &lexicon, &Lexicon::saveFinished, &lexicon,
            [&] {
                if (writes.size() > 1)
                    return;
                busyWhileWriting = !lexicon.isSaved();
                for (int i = 0; i < 50; ++i)
                    lexicon.addRule(QStringLiteral("wrong%1x").arg(i), QStringLiteral("Right%1").arg(i), "user_added");
                lexicon.addHotwords({"Kelto", "Murmo"});
                lexicon.removeRule(lexicon.allRules().at(1).id);
                applied = lexicon.apply("wrong2x") == QString("Right2");
            },
            Qt::DirectConnection);
        lexicon.addRule("first", "First", "user_added");
        QVERIFY(lexicon.flush());
        QVERIFY(lexicon.isSaved());
        QVERIFY(busyWhileWriting);
        QVERIFY(applied);
        QCOMPARE(writes.size(), 2);
        Lexicon reread(dir.path());
        QCOMPARE(reread.exportSnapshot(), lexicon.exportSnapshot());
        QCOMPARE(reread.allRules().size(), 50);
        QCOMPARE(reread.allRules().at(2).hitCount, 1);
        QCOMPARE(reread.hotwords().mid(50), (QStringList{"Kelto", "Murmo"}));
    }

    // The program's end (the lexicon going, with no flush) writes what is still pending.
    void whatIsPendingIsWrittenAtTheEnd()
    {
        QTemporaryDir dir;
        QStringList added;
        {
            Lexicon lexicon(dir.path());
            for (int i = 0; i < 200; ++i) {
                added.append(QStringLiteral("word%1x").arg(i));
                lexicon.addRule(added.last(), QStringLiteral("Word%1").arg(i), "user_added");
            }
        }
        QCOMPARE(wrongsOf(Lexicon(dir.path())), added);
    }

    // A write the disk refused is known, and what it held is written by whichever comes next with
    // room on the disk: the flush at the program's end, a retry, or a later change.
    void aRefusedWriteIsWrittenAgain_data()
    {
        QTest::addColumn<QString>("retry");
        QTest::newRow("flush") << "flush";
        QTest::newRow("save again") << "save again";
        QTest::newRow("a later change") << "a later change";
    }
    void aRefusedWriteIsWrittenAgain()
    {
        QFETCH(QString, retry);
        QTemporaryDir dir;
        Lexicon lexicon(dir.path());
        lexicon.waitUntilLoaded();
        {
            const FileSizeLimit full;
            for (int i = 0; i < 300; ++i)
                lexicon.addRule(QStringLiteral("full%1x").arg(i), QStringLiteral("Full%1").arg(i), "user_added");
            QVERIFY(!lexicon.flush());
            QVERIFY(lexicon.lastWriteFailed());
            QVERIFY(!lexicon.isSaved());
        }
        QSignalSpy writes(&lexicon, &Lexicon::saveFinished);
        if (retry == "flush") {
            QVERIFY(lexicon.flush());
        } else {
            if (retry == "save again")
                lexicon.saveAgain();
            else
                lexicon.addHotword("Kelto");
            QTRY_VERIFY_WITH_TIMEOUT(!writes.isEmpty(), 20000);
            QVERIFY(!lexicon.lastWriteFailed());
        }
        QVERIFY(lexicon.isSaved() || lexicon.flush());
        QCOMPARE(Lexicon(dir.path()).allRules().size(), 300);
    }

    // Threads that use the lexicon before its load began, while the thread it lives on waits for
    // them without turning its event loop: they must load it themselves.
    void firstCallersLoadItWhileItsThreadWaits()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(Lexicon::kFileName), R"({"hotwords":["Kelto"],"rules":[]})");
        Lexicon lexicon(dir.path());
        std::vector<std::thread> workers;
        for (int t = 0; t < 8; ++t) {
            workers.emplace_back([&lexicon, t] {
                lexicon.addRule(QStringLiteral("w%1x").arg(t), QStringLiteral("W%1").arg(t), "user_added");
            });
        }
        for (std::thread& worker : workers)
            worker.join();
        QCOMPARE(lexicon.allRules().size(), 8);
        QCOMPARE(lexicon.hotwords().last(), QString("Kelto"));
    }

    // Reading and writing a file of megabytes passes through several times its size in small
    // pieces, which go back to the system; a small file's few do not.
    void largeFilesGiveWhatTheyFreedBack()
    {
        for (const qint64 bytes : {qint64(1000), qint64(5'000'000)}) {
            QTemporaryDir dir;
            writeFile(dir.filePath(Lexicon::kFileName), LexiconFixtures::lexiconOfSize(bytes));
            FakeFreedMemory freed;
            Lexicon lexicon(dir.path(), &freed);
            lexicon.waitUntilLoaded();
            const int afterLoad = freed.givenBack;
            lexicon.addRule("teh", "the", "user_added");
            QVERIFY(lexicon.flush());
            const bool large = bytes > 1000;
            QCOMPARE(afterLoad, large ? 1 : 0);
            QCOMPARE(freed.givenBack.load(), large ? 2 : 0);
        }
    }
};

MURMO_TEST(TestLexiconSaving)
#include "tst_LexiconSaving.moc"

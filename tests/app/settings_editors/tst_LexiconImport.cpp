#include "app/settings/editors/LexiconImportButton.h"
#include "app/settings/editors/LexiconImportFile.h"
#include "tests/app/settings_editors/EditorRig.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// A rule with "->", a comment, an empty line, a single word, "->" twice, a padded "=>" rule.
const QByteArray kSixLines = "麦克->Mac\n# 注释\n\nKelto\na->b->c\n  派森 =>  Python  \n";

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

struct ImportRig : EditorRig
{
    QString chosen;
    int choices = 0;
    LexiconImportButton button{state(), app.lexicon(), [this](QWidget*) {
                                   ++choices;
                                   return chosen;
                               }};

    // Presses the button and waits for the worker.
    void importFile(const QString& path)
    {
        chosen = path;
        QSignalSpy finished(&button, &LexiconImportButton::importFinished);
        button.findChild<QPushButton*>(QStringLiteral("import"))->click();
        // A small file may be done before the click returns.
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    }
};

} // namespace

class TestLexiconImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sixLineFileImportsTwoRulesAndAHotword()
    {
        ImportRig rig;
        rig.importFile(writeFile(rig.fake.dir, QStringLiteral("words.txt"), kSixLines));
        QCOMPARE(rig.button.result(), QStringLiteral("已导入 2 条规则、1 个热词，1 行未导入"));
        QCOMPARE(rig.state().historyVersion(), 1);
        const QList<LearnedRule> rules = rig.app.lexicon()->allRules();
        QCOMPARE(rules.size(), 2);
        QCOMPARE(rules[1].wrong, QStringLiteral("派森"));
        QCOMPARE(rules[1].right, QStringLiteral("Python"));
        QCOMPARE(rules[1].source, QStringLiteral("user_added"));
        QVERIFY(rig.app.lexicon()->hotwords().contains(QStringLiteral("Kelto")));

        // The same file again stores nothing new, and says so.
        rig.importFile(writeFile(rig.fake.dir, QStringLiteral("words.txt"), kSixLines));
        QCOMPARE(rig.button.result(), QStringLiteral("已导入 0 条规则、0 个热词，1 行未导入"));

        // Rules the lexicon refuses count as lines not taken; a clean file says nothing of them.
        rig.importFile(writeFile(rig.fake.dir, QStringLiteral("refused.txt"), "Bar -> Bar\n扣 -> code\nfoo -> Foo\n"));
        QCOMPARE(rig.button.result(), QStringLiteral("已导入 1 条规则、0 个热词，2 行未导入"));
        rig.importFile(writeFile(rig.fake.dir, QStringLiteral("clean.txt"), "bar -> Bar\r\n"));
        QCOMPARE(rig.button.result(), QStringLiteral("已导入 1 条规则、0 个热词"));
    }

    void refusedFilesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("latin-1") << QByteArray("caf\xe9 -> caf\xc3\xa9\n")
                                 << QStringLiteral("文件不是 UTF-8 文本，没有导入");
        QTest::newRow("cut sequence") << QByteArray("\xe4\xbd") << QStringLiteral("文件不是 UTF-8 文本，没有导入");
        QTest::newRow("too large") << QByteArray(LexiconImportFile::kMaxBytes + 1, 'a')
                                   << QStringLiteral("文件超过 8 MB，没有导入");
    }

    void refusedFilesChangeNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        ImportRig rig;
        rig.importFile(writeFile(rig.fake.dir, QStringLiteral("bad.txt"), bytes));
        QCOMPARE(rig.button.result(), message);
        QVERIFY(rig.app.lexicon()->allRules().isEmpty());
        QVERIFY(rig.app.lexicon()->hotwords().isEmpty());
        QCOMPARE(rig.state().historyVersion(), 0);
    }

    void missingFileAndCancelledChoice()
    {
        ImportRig rig;
        rig.importFile(writeFile(rig.fake.dir, QStringLiteral("words.txt"), kSixLines));
        rig.importFile(rig.fake.dir.filePath(QStringLiteral("gone.txt")));
        QVERIFY(rig.button.result().startsWith(QStringLiteral("无法读取文件：")));

        rig.chosen.clear();
        rig.button.findChild<QPushButton*>(QStringLiteral("import"))->click();
        QCOMPARE(rig.choices, 3);
        QVERIFY(!rig.button.isImporting());
        QVERIFY(rig.button.result().startsWith(QStringLiteral("无法读取文件：")));
    }

    void byteOrderMarkIsNotPartOfTheFirstLine()
    {
        QTemporaryDir dir;
        const auto text = LexiconImportFile::read(writeFile(dir, QStringLiteral("bom.txt"), "\xef\xbb\xbf# 注释\n词"));
        QCOMPARE(std::get<QString>(text), QStringLiteral("# 注释\n词"));
    }

    void closingTheWindowMidImportStillStoresIt()
    {
        EditorRig rig;
        const QString path = writeFile(rig.fake.dir, QStringLiteral("words.txt"), kSixLines);
        auto button =
            std::make_unique<LexiconImportButton>(rig.state(), rig.app.lexicon(), [&path](QWidget*) { return path; });
        button->findChild<QPushButton*>(QStringLiteral("import"))->click();
        button.reset();
        QTRY_COMPARE_WITH_TIMEOUT(rig.app.lexicon()->allRules().size(), 2, 20000);
    }
};

MURMO_TEST(TestLexiconImport)
#include "tst_LexiconImport.moc"

#include "core/store/Lexicon.h"
#include "core/text/HotwordMatcher.h"
#include "core/text/TranscriptHeuristics.h"
#include "tests/core/store/LexiconFixtures.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace LexiconFixtures;
using Pairs = QList<CorrectionPair>;
using Counts = QList<qint64>;

namespace {

// A lexicon over a fresh folder whose file holds these rules (each with its own id) and hotwords,
// loaded.
struct Fixture
{
    explicit Fixture(QList<RuleSpec> rules = {}, const QStringList& hotwords = {})
    {
        for (int i = 0; i < rules.size(); ++i)
            rules[i].id = idNumber(i + 1);
        if (!rules.isEmpty() || !hotwords.isEmpty())
            writeFile(path(), document(rules, hotwords));
        lexicon = std::make_unique<Lexicon>(dir.path());
        lexicon->waitUntilLoaded();
    }

    QString path() const { return dir.filePath(Lexicon::kFileName); }
    // The file once every change so far is written.
    QByteArray saved() const
    {
        lexicon->flush();
        return readFile(path());
    }
    bool fileExists() const
    {
        lexicon->flush();
        return QFile::exists(path());
    }
    QJsonObject stored() const { return QJsonDocument::fromJson(saved()).object(); }
    QStringList unreadableCopies() const
    {
        return QDir(dir.path()).entryList({Lexicon::kFileName + ".unreadable-*"}, QDir::Files);
    }

    QTemporaryDir dir;
    std::unique_ptr<Lexicon> lexicon;
};

QList<RuleSpec> specs(const Pairs& pairs)
{
    QList<RuleSpec> out;
    for (const CorrectionPair& pair : pairs)
        out.append(RuleSpec{pair.wrong, pair.right});
    return out;
}

Counts hitCounts(const Lexicon& lexicon)
{
    Counts out;
    for (const LearnedRule& rule : lexicon.allRules())
        out.append(rule.hitCount);
    return out;
}

Pairs pairsOf(const Lexicon& lexicon)
{
    Pairs out;
    for (const LearnedRule& rule : lexicon.allRules())
        out.append({rule.wrong, rule.right});
    return out;
}

} // namespace

class TestLexicon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void apply_data()
    {
        QTest::addColumn<Pairs>("rules");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<Counts>("hits");

        QTest::newRow("case-sensitive") << Pairs{{"teh", "the"}} << "Teh end"
                                        << "Teh end" << Counts{0};
        QTest::newRow("inside a longer word") << Pairs{{"cat", "dog"}} << "concatenate"
                                              << "concatenate" << Counts{0};
        QTest::newRow("whole words, one hit for many") << Pairs{{"cat", "dog"}} << "a cat, a cats, cat."
                                                       << "a dog, a cats, dog." << Counts{1};
        QTest::newRow("Han inside Han") << Pairs{{"北经", "北京"}} << "我在北经的家"
                                        << "我在北京的家" << Counts{1};
        QTest::newRow("ASCII against Han") << Pairs{{"vscode", "VS Code"}} << "用vscode写"
                                           << "用VS Code写" << Counts{1};
        QTest::newRow("ASCII between blanks in Han text") << Pairs{{"vscode", "VS Code"}} << "用 vscode 写"
                                                          << "用 VS Code 写" << Counts{1};
        QTest::newRow("ASCII next to full-width punctuation") << Pairs{{"gpt", "GPT"}} << "用gpt，再用gpt。"
                                                              << "用GPT，再用GPT。" << Counts{1};
        QTest::newRow("ASCII next to full-width punctuation after a blank") << Pairs{{"gpt", "GPT"}} << "用 gpt，好"
                                                                            << "用 GPT，好" << Counts{1};
        QTest::newRow("ASCII next to a digit") << Pairs{{"gpt", "GPT"}} << "gpt4 gpt"
                                               << "gpt4 GPT" << Counts{1};
        QTest::newRow("punctuation end before a letter") << Pairs{{"etc.", "etcetera"}} << "a etc. b etc.Next"
                                                         << "a etcetera b etc.Next" << Counts{1};
        QTest::newRow("punctuation end at the end of the text") << Pairs{{"etc.", "etcetera"}} << "tea etc."
                                                                << "tea etcetera" << Counts{1};
        QTest::newRow("punctuation end inside Chinese") << Pairs{{"c++", "C++"}} << "用c++写，不是abc++"
                                                        << "用C++写，不是abc++" << Counts{1};
        QTest::newRow("punctuation start inside Chinese") << Pairs{{".net", ".NET"}} << "用.net开发asp.net"
                                                          << "用.NET开发asp.net" << Counts{1};
        QTest::newRow("accented letter continues the word") << Pairs{{"cafe", "coffee"}} << "cafeé cafe"
                                                            << "cafeé coffee" << Counts{1};
        QTest::newRow("combining mark is part of the word") << Pairs{{"cafe", "coffee"}} << "cafe\u0301 cafe"
                                                            << "cafe\u0301 coffee" << Counts{1};
        QTest::newRow("$0 in an ASCII rule is the match") << Pairs{{"gpt", "$0-4"}} << "use gpt now"
                                                          << "use gpt-4 now" << Counts{1};
        QTest::newRow("$0 in a non-ASCII rule is literal") << Pairs{{"扣的", "$0"}} << "用扣的写"
                                                           << "用$0写" << Counts{1};
        QTest::newRow("backslash escapes the dollar") << Pairs{{"usd", "\\$0 dollars"}} << "5 usd"
                                                      << "5 $0 dollars" << Counts{1};
        QTest::newRow("a dollar without group 0 is literal") << Pairs{{"usd", "$1 US$"}} << "5 usd"
                                                             << "5 $1 US$" << Counts{1};
        QTest::newRow("chained rules") << Pairs{{"A", "B"}, {"B", "C"}} << "A"
                                       << "C" << Counts{1, 1};
        QTest::newRow("later rule does not see the text before the earlier one") << Pairs{{"B", "C"}, {"A", "B"}} << "A"
                                                                                 << "B" << Counts{0, 1};
        QTest::newRow("composed rule, decomposed text") << Pairs{{"caf\u00e9", "coffee"}} << "cafe\u0301 au lait"
                                                        << "coffee au lait" << Counts{1};
        QTest::newRow("decomposed rule, composed text") << Pairs{{"北e\u0301", "X"}} << "北\u00e9!"
                                                        << "X!" << Counts{1};
        QTest::newRow("half of a character is not replaced") << Pairs{{"北e", "X"}} << "北e\u0301"
                                                             << "北e\u0301" << Counts{0};
        QTest::newRow("Han right containing wrong leaves the right alone")
            << Pairs{{"阿里", "阿里巴巴"}} << "阿里巴巴和阿里"
            << "阿里巴巴和阿里巴巴" << Counts{1};
        QTest::newRow("Han right ending in wrong") << Pairs{{"京", "北京"}} << "北京到京"
                                                   << "北京到北京" << Counts{1};
        QTest::newRow("text already right is no hit") << Pairs{{"北京", "北京市"}} << "北京市"
                                                      << "北京市" << Counts{0};
        QTest::newRow("ASCII right containing wrong leaves the right alone")
            << Pairs{{"GPT", "GPT-4"}} << "GPT-4 or GPT"
            << "GPT-4 or GPT-4" << Counts{1};
        QTest::newRow("ASCII template right containing the match") << Pairs{{"gpt", "$0-4"}} << "gpt-4 gpt"
                                                                   << "gpt-4 gpt-4" << Counts{1};
        QTest::newRow("right equal to wrong is no hit") << Pairs{{"北经", "北经"}} << "北经"
                                                        << "北经" << Counts{0};
        QTest::newRow("empty wrong is skipped") << Pairs{{"", "x"}} << "abc"
                                                << "abc" << Counts{0};
    }

    void apply()
    {
        QFETCH(Pairs, rules);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(Counts, hits);
        Fixture f(specs(rules));
        QCOMPARE(f.lexicon->apply(text), expected);
        QCOMPARE(hitCounts(*f.lexicon), hits);
    }

    void applySavesOnlyWhenARuleHit()
    {
        Fixture f(QList<RuleSpec>{{"teh", "the"}});
        QVERIFY(QFile::remove(f.path()));
        QCOMPARE(f.lexicon->apply("nothing to do"), QString("nothing to do"));
        QVERIFY(!f.fileExists());
        QCOMPARE(f.lexicon->apply("teh end"), QString("the end"));
        const QJsonArray rules = f.stored().value("rules").toArray();
        QCOMPARE(rules.size(), 1);
        QCOMPARE(rules[0].toObject().value("hitCount").toInteger(), 1);
    }

    void hitCountStopsAtItsLimit()
    {
        Fixture f({{"teh", "the", std::numeric_limits<qint64>::max()}, {"cat", "dog", -3}});
        QCOMPARE(f.lexicon->apply("teh cat"), QString("the dog"));
        QCOMPARE(hitCounts(*f.lexicon), (Counts{std::numeric_limits<qint64>::max(), -2}));
        QCOMPARE(f.stored().value("rules").toArray()[0].toObject().value("hitCount").toInteger(),
                 std::numeric_limits<qint64>::max());
    }

    void hotwordsPutMostUsedFirst()
    {
        Fixture f({{"aa", "Alpha", 0}, {"bb", "Beta", 5}, {"cc", "Gamma", 5}, {"dd", "Beta", 1}},
                  {"Delta", "Gamma", "Delta", "caf\u00e9", "cafe\u0301"});
        QCOMPARE(f.lexicon->hotwords(), (QStringList{"Beta", "Gamma", "Alpha", "Delta", "caf\u00e9"}));
    }

    // What the lexicon keeps derived from its rules, the hotword order, the prepared words and
    // where each rule may hit, follows every change: hits, a new right, removals, an import and
    // a merge.
    void hotwordsFollowEveryChange()
    {
        Fixture f({{"aa", "Alpha"}, {"bb", "Beta"}, {"cc", "Beta"}});
        const auto echoed = [&](const QString& words) {
            return TranscriptHeuristics::stripLeadingEcho(words + " 你好", *f.lexicon->hotwordMatcher()) == "你好";
        };
        const std::shared_ptr<const HotwordMatcher> before = f.lexicon->hotwordMatcher();
        QCOMPARE(f.lexicon->hotwords(), (QStringList{"Alpha", "Beta"}));

        QCOMPARE(f.lexicon->apply("bb cc"), "Beta Beta");
        QCOMPARE(f.lexicon->hotwords(), (QStringList{"Beta", "Alpha"}));
        QCOMPARE(f.lexicon->topHotwords(1), QStringList{"Beta"});
        QCOMPARE(f.lexicon->asrHotwords(), (QStringList{"Beta", "Alpha"}));

        f.lexicon->addRule("aa", "Gamma", "user_added");
        QCOMPARE(f.lexicon->hotwords(), (QStringList{"Beta", "Gamma"}));
        QVERIFY(echoed("Beta Gamma"));
        QVERIFY(!echoed("Alpha Beta"));
        // Beta stays a hotword while one rule still gives it.
        f.lexicon->removeRule(QUuid::fromString(idNumber(2)));
        QVERIFY(echoed("Beta Gamma"));
        f.lexicon->removeRule(QUuid::fromString(idNumber(3)));
        QVERIFY(!echoed("Beta Gamma"));

        f.lexicon->importText("dd -> Delta\nEpsilon\n");
        QCOMPARE(f.lexicon->merge(document({{"ee", "Zeta", 7}})), 1);
        QCOMPARE(f.lexicon->hotwords(), (QStringList{"Zeta", "Gamma", "Delta", "Epsilon"}));
        QVERIFY(echoed("Zeta Epsilon Delta"));
        QCOMPARE(f.lexicon->apply("aa dd ee bb"), "Gamma Delta Zeta bb");
        // A matcher handed out earlier is left as it was.
        QCOMPARE(TranscriptHeuristics::stripLeadingEcho("Alpha Beta 你好", *before), "你好");
    }

    void asrHotwordsFilterAndCap()
    {
        Fixture f({}, {"AI", "x", "西湖", "a@b.com", "K8s", "一致", "½杯", "٣x", "北", "Ⅻ世纪", "👍🏽"});
        QCOMPARE(f.lexicon->asrHotwords(), (QStringList{"AI", "西湖"}));

        QStringList many;
        for (int i = 0; i < 60; ++i)
            many.append(QStringLiteral("word") + QChar(u'a' + i % 26) + QChar(u'a' + i / 26));
        Fixture g({}, many);
        QCOMPARE(g.lexicon->asrHotwords(), many.first(48));
    }

    void addRuleReplacesOnlyTheRightOfTheSameWrong()
    {
        Fixture f({{"teh", "the", 3, "seed"}, {"recieve", "receive"}});
        const LearnedRule before = f.lexicon->allRules().first();
        f.lexicon->addRule("teh", "THE", "user_added");
        const QList<LearnedRule> after = f.lexicon->allRules();
        QCOMPARE(after.size(), 2);
        QCOMPARE(after[0].right, QString("THE"));
        QCOMPARE(after[0].id, before.id);
        QCOMPARE(after[0].hitCount, 3);
        QCOMPARE(after[0].source, QString("seed"));
        QCOMPARE(after[0].createdAt, before.createdAt);
        QCOMPARE(f.stored().value("rules").toArray()[0].toObject().value("right").toString(), QString("THE"));
    }

    void addRuleKeepsOrRefuses_data()
    {
        QTest::addColumn<QString>("wrong");
        QTest::addColumn<QString>("right");
        QTest::addColumn<Pairs>("stored");

        QTest::newRow("one blank") << " "
                                   << "x" << Pairs{};
        QTest::newRow("trailing blank is kept") << "foo "
                                                << "bar" << Pairs{{"foo ", "bar"}};
        QTest::newRow("empty right") << "foo"
                                     << "" << Pairs{};
        QTest::newRow("equal sides") << "foo"
                                     << "foo" << Pairs{};
        QTest::newRow("single Han character") << "经"
                                              << "京" << Pairs{};
        QTest::newRow("Chinese rule sharing a character") << "北经"
                                                          << "北京" << Pairs{{"北经", "北京"}};
    }

    void addRuleKeepsOrRefuses()
    {
        QFETCH(QString, wrong);
        QFETCH(QString, right);
        QFETCH(Pairs, stored);
        Fixture f;
        f.lexicon->addRule(wrong, right, "user_added");
        QCOMPARE(pairsOf(*f.lexicon), stored);
        QCOMPARE(f.fileExists(), !stored.isEmpty());
        if (!stored.isEmpty()) {
            const QJsonObject rule = f.stored().value("rules").toArray()[0].toObject();
            QCOMPARE(rule.value("wrong").toString(), wrong);
            QCOMPARE(rule.value("source").toString(), QString("user_added"));
            QCOMPARE(rule.value("hitCount").toInteger(), 0);
            QCOMPARE(QUuid::fromString(rule.value("id").toString()).toString(QUuid::WithoutBraces).toUpper(),
                     rule.value("id").toString());
        }
    }

    void removeRuleAndPurge()
    {
        Fixture f({{"teh", "the"}, {"经", "京"}, {"北京，", "北京"}, {"北经", "北京"}});
        QCOMPARE(f.lexicon->purgeBadRules(), 2);
        QCOMPARE(pairsOf(*f.lexicon), (Pairs{{"teh", "the"}, {"北经", "北京"}}));
        QCOMPARE(f.lexicon->purgeBadRules(), 0);
        f.lexicon->removeRule(QUuid::fromString(idNumber(1)));
        QCOMPARE(pairsOf(*f.lexicon), (Pairs{{"北经", "北京"}}));
        QCOMPARE(f.stored().value("rules").toArray().size(), 1);
    }

    void seedIfEmpty()
    {
        Fixture f;
        f.lexicon->seedIfEmpty({"Kelto", "Kelto", "GitHub"}, {{"a", "b"}, {"a", "c"}, {"经", "京"}});
        QCOMPARE(f.lexicon->hotwords(), (QStringList{"b", "京", "Kelto", "GitHub"}));
        const QList<LearnedRule> rules = f.lexicon->allRules();
        QCOMPARE(rules.size(), 2);
        QCOMPARE(rules[1].source, QString("seed"));
        QCOMPARE(f.stored().value("hotwords").toArray().size(), 2);

        f.lexicon->seedIfEmpty({"Other"}, {{"x", "y"}});
        QCOMPARE(f.lexicon->allRules().size(), 2);

        Fixture g({}, {"OnlyHotword"});
        g.lexicon->seedIfEmpty({"Kelto"}, {{"a", "b"}});
        QCOMPARE(g.lexicon->hotwords(), QStringList{"OnlyHotword"});
        QVERIFY(g.lexicon->allRules().isEmpty());
    }

    void addHotword()
    {
        Fixture f(QList<RuleSpec>{{"teh", "the"}});
        f.lexicon->addHotword("");
        f.lexicon->addHotword(" Kelto ");
        f.lexicon->addHotword(" Kelto ");
        f.lexicon->addHotword("the"); // a rule's right is not an extra hotword
        // Several at once: each text once, canonically; letter case and blanks tell words apart.
        f.lexicon->addHotwords({"caf\u00e9", "cafe\u0301", "CAF\u00c9", "Kelto", "caf\u00e9", " Kelto "});
        QCOMPARE(f.stored().value("hotwords").toArray(),
                 (QJsonArray{" Kelto ", "the", "caf\u00e9", "CAF\u00c9", "Kelto"}));
        // Many at once are looked up among the stored ones another way, with the same outcome.
        QStringList many{"cafe\u0301", "Kelto"};
        for (int i = 0; i < 100; ++i)
            many << QStringLiteral("w%1").arg(i);
        f.lexicon->addHotwords(many << "w7");
        QCOMPARE(f.stored().value("hotwords").toArray().size(), 105);
    }

    // The screen's terms are learnt only when the lexicon does not list them as they are written.
    void listsHotwordAsWritten()
    {
        Fixture f(QList<RuleSpec>{{"teh", "the"}}, {"Kelto"});
        QVERIFY(f.lexicon->listsHotword("the"));
        QVERIFY(f.lexicon->listsHotword("Kelto"));
        QVERIFY(!f.lexicon->listsHotword("kelto"));
        QVERIFY(!f.lexicon->listsHotword("teh"));
    }

    void importTextCountsWhatItStored()
    {
        Fixture f({{"gpt", "GPT"}}, {"Hangzhou"});
        // Already there, changed, refused, duplicated within the file, new.
        const QString text = "gpt -> GPT\nteh -> the\nteh => thee\n经 -> 京\nHangzhou\nKelto\nKelto\n"
                             "x \u2192 y\ngpt -> ChatGPT";
        const Lexicon::ImportCounts expected{4, 1};
        QCOMPARE(f.lexicon->importText(text), expected);
        QCOMPARE(pairsOf(*f.lexicon), (Pairs{{"gpt", "ChatGPT"}, {"teh", "thee"}, {"x", "y"}}));
        QCOMPARE(f.stored().value("hotwords").toArray(), (QJsonArray{"Hangzhou", "Kelto"}));
        QCOMPARE(f.lexicon->allRules()[1].source, QString("user_added"));

        // What the file holds is what was saved, and a second import stores nothing.
        Lexicon reread(f.dir.path());
        QCOMPARE(pairsOf(reread), pairsOf(*f.lexicon));
        const QByteArray saved = f.saved();
        QCOMPARE(f.lexicon->importText("teh => thee\nKelto\nx \u2192 y\n#"), Lexicon::ImportCounts{});
        QCOMPARE(f.saved(), saved);
    }

    void mergeKeepsLocalRulesAndCountsWhatItAdds()
    {
        Fixture f({{"teh", "the", 2}}, {"Kelto", "Café"});
        RuleSpec remoteRule{"recieve", "receive", 7, "manual_edit", idNumber(42), 790000000.25};
        // Hotwords canonically equal to a local one, or to one before them, are not added.
        const QByteArray remote =
            document({{"teh", "tea", 9, "user_added", idNumber(41)}, remoteRule, {"经", "京", 1, "seed", idNumber(43)}},
                     {"Kelto", "Hangzhou", "Cafe\u0301", "Hangzhou"});
        QCOMPARE(f.lexicon->merge(remote), 2);
        const QList<LearnedRule> rules = f.lexicon->allRules();
        QCOMPARE(rules.size(), 2);
        QCOMPARE(rules[0].right, QString("the"));
        QCOMPARE(rules[0].hitCount, 2);
        QCOMPARE(rules[1].id, QUuid::fromString(idNumber(42)));
        QCOMPARE(rules[1].hitCount, 7);
        QCOMPARE(rules[1].source, QString("manual_edit"));
        QCOMPARE(rules[1].createdAt, 790000000.25);
        QCOMPARE(f.stored().value("hotwords").toArray(), (QJsonArray{"Kelto", "Café", "Hangzhou"}));
        QCOMPARE(f.stored().value("rules").toArray()[1].toObject(), ruleJson(remoteRule));

        QCOMPARE(f.lexicon->merge(remote), 0);
    }

    void mergeOfLargeLexiconsTakesTimeInProportion()
    {
        // As large as lexicons grow in use: every start merged them pair by pair, for minutes.
        Fixture f({}, {});
        QString local;
        for (int i = 0; i < 20000; ++i)
            local += QStringLiteral("本地词%1\nfix%1 -> Fix%1\n").arg(i);
        QCOMPARE(f.lexicon->importText(local), (Lexicon::ImportCounts{20000, 20000}));
        QList<RuleSpec> rules;
        QStringList hotwords;
        for (int i = 10000; i < 30000; ++i)
            rules.append({QStringLiteral("fix%1").arg(i), QStringLiteral("Other%1").arg(i), 1, "seed", idNumber(i)});
        for (int i = 0; i < 50000; ++i)
            hotwords.append(QStringLiteral("远端词%1").arg(i));
        hotwords.append(QStringLiteral("本地词7"));
        const QByteArray remote = document(rules, hotwords);

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(f.lexicon->merge(remote), 10000 + 50000);
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(f.lexicon->allRules().size(), 30000);
        QCOMPARE(f.lexicon->merge(remote), 0);
    }

    void mergeOfGarbageChangesNothing()
    {
        Fixture f(QList<RuleSpec>{{"teh", "the"}});
        const QByteArray before = f.saved();
        QCOMPARE(f.lexicon->merge("\x00\xff not json"), std::nullopt);
        QCOMPARE(f.lexicon->merge(R"({"rules":[]})"), std::nullopt);
        QCOMPARE(f.saved(), before);
        QCOMPARE(f.lexicon->allRules().size(), 1);
    }

    void mergeDropsControlCharactersOfTheAccountCopy_data()
    {
        QTest::addColumn<QString>("inserted");
        QTest::addColumn<QString>("kept");
        QTest::newRow("right-to-left override") << QStringLiteral("\u202E") << QString();
        QTest::newRow("C1 CSI") << QStringLiteral("\u009B2J") << QStringLiteral("2J");
        QTest::newRow("C1 next line") << QStringLiteral("\u0085") << QString();
        QTest::newRow("left-to-right isolate") << QStringLiteral("\u2066") << QString();
        QTest::newRow("DEL") << QStringLiteral("\u007F") << QString();
        QTest::newRow("ESC sequence") << QStringLiteral("\u001B[2J") << QStringLiteral("[2J");
    }
    void mergeDropsControlCharactersOfTheAccountCopy()
    {
        QFETCH(QString, inserted);
        QFETCH(QString, kept);
        Fixture f;
        const auto around = [](const QString& middle) { return QStringLiteral("Ke") + middle + QStringLiteral("lto"); };
        QCOMPARE(f.lexicon->merge(document({{"kelto", around(inserted)}}, {around(inserted) + "s"})), 2);
        // What a failed styling pastes as it stands is the rule's own text.
        QCOMPARE(f.lexicon->apply(QStringLiteral("hi kelto")), QStringLiteral("hi ") + around(kept));
        QCOMPARE(f.lexicon->hotwords(), (QStringList{around(kept), around(kept) + "s"}));
    }

    void learnReturnsPairsItRefused()
    {
        Fixture f;
        QCOMPARE(f.lexicon->learn("打开北经地图", "打开北京地图"), (Pairs{{"经", "京"}}));
        QVERIFY(f.lexicon->allRules().isEmpty());
        QVERIFY(!f.fileExists());

        QCOMPARE(f.lexicon->previewCorrections("我用扣的写", "我用cloud写"), (Pairs{{"扣的", "cloud"}}));
        QVERIFY(f.lexicon->allRules().isEmpty());

        QCOMPARE(f.lexicon->learn("我用扣的写", "我用cloud写"), (Pairs{{"扣的", "cloud"}}));
        QCOMPARE(f.lexicon->allRules().size(), 1);
        QCOMPARE(f.lexicon->allRules()[0].source, QString("manual_edit"));
    }

    void learntCommonEnglishWordsAreRefused_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("stored");
        QTest::newRow("learnt from a history correction") << "manual_edit" << false;
        QTest::newRow("learnt from an edit in another application") << "auto_edit" << false;
        QTest::newRow("added by the user") << "user_added" << true;
    }

    void learntCommonEnglishWordsAreRefused()
    {
        QFETCH(QString, source);
        QFETCH(bool, stored);
        Fixture f;
        f.lexicon->addRule("A", "the", source);
        QCOMPARE(f.lexicon->allRules().size(), stored ? 1 : 0);
        // An English word the recogniser gets wrong is still learnt.
        f.lexicon->addRule("teh", "the", source);
        QCOMPARE(f.lexicon->allRules().back().wrong, QString("teh"));
    }

    void learningFromAnEnglishEditKeepsOtherSentencesAlone()
    {
        Fixture f;
        QCOMPARE(f.lexicon->learn("I saw a cat", "I saw the cat"), (Pairs{{"a", "the"}}));
        QVERIFY(f.lexicon->allRules().isEmpty());
        QCOMPARE(f.lexicon->apply("a dog"), QString("a dog"));
    }

    void purgeAndMergeRefuseLearntCommonWords()
    {
        Fixture f({RuleSpec{"the", "a", 3, "manual_edit"}, RuleSpec{"of", "off", 0, "user_added"}});
        QCOMPARE(f.lexicon->purgeBadRules(), 1);
        QCOMPARE(pairsOf(*f.lexicon), (Pairs{{"of", "off"}}));
        Fixture remote({RuleSpec{"an", "and", 1, "auto_edit"}, RuleSpec{"gtp", "GPT", 1, "auto_edit"}});
        QCOMPARE(f.lexicon->merge(readFile(remote.path())), 1);
        QCOMPARE(pairsOf(*f.lexicon), (Pairs{{"of", "off"}, {"gtp", "GPT"}}));
    }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("keptAside");

        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("no hotwords") << QByteArray(R"({"rules":[]})") << true;
        QTest::newRow("rule without source")
            << QByteArray(R"({"rules":[{"id":"00000000-0000-4000-8000-000000000001","wrong":"a","right":"b",)"
                          R"("hitCount":0,"createdAt":1}],"hotwords":[]})")
            << true;
        QTest::newRow("not JSON") << QByteArray("garbage\n") << true;
    }

    void loading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, keptAside);
        QTemporaryDir dir;
        const QString path = dir.filePath(Lexicon::kFileName);
        QVERIFY(writeFile(path, bytes));
        Lexicon lexicon(dir.path());
        QVERIFY(lexicon.allRules().isEmpty());
        QVERIFY(lexicon.hotwords().isEmpty());

        const QStringList copies = QDir(dir.path()).entryList({Lexicon::kFileName + ".unreadable-*"}, QDir::Files);
        QCOMPARE(copies.size(), keptAside ? 1 : 0);
        if (keptAside)
            QCOMPARE(readFile(dir.filePath(copies.first())), bytes);

        lexicon.addHotword("Kelto");
        QVERIFY(lexicon.flush());
        QCOMPARE(readFile(path), QByteArray(R"({"hotwords":["Kelto"],"rules":[]})"));
    }

    void loadingKeepsStoredContentAsItIs()
    {
        // Duplicates and rules the validity test would refuse are loaded as stored.
        Fixture f({{"经", "京"}, {"经", "惊"}}, {"a", "a"});
        QCOMPARE(pairsOf(*f.lexicon), (Pairs{{"经", "京"}, {"经", "惊"}}));
        QCOMPARE(f.lexicon->exportSnapshot(), std::optional<QByteArray>(f.saved()));
    }

    void concurrentCallersLeaveAConsistentFile()
    {
        Fixture f;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&f, t] {
                for (int i = 0; i < 25; ++i) {
                    const QString wrong = QStringLiteral("w%1x%2").arg(t).arg(i);
                    f.lexicon->addRule(wrong, wrong.toUpper(), "user_added");
                    f.lexicon->addHotword(QStringLiteral("hot%1").arg(t));
                    (void)f.lexicon->apply(QStringLiteral("w%1x0 w0x%2").arg(t).arg(i));
                    (void)f.lexicon->asrHotwords();
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(f.lexicon->allRules().size(), 100);
        QCOMPARE(f.stored().value("hotwords").toArray().size(), 4);
        QCOMPARE(f.saved(), *f.lexicon->exportSnapshot());
        Lexicon reloaded(f.dir.path());
        QCOMPARE(reloaded.allRules(), f.lexicon->allRules());
    }

    void missingFolderIsCreatedOnFirstSave()
    {
        QTemporaryDir dir;
        Lexicon lexicon(dir.filePath("Murmo"));
        QVERIFY(lexicon.allRules().isEmpty());
        lexicon.addRule("teh", "the", "user_added");
        QVERIFY(lexicon.flush());
        QVERIFY(QFile::exists(dir.filePath("Murmo/lexicon.json")));
        Lexicon reloaded(dir.filePath("Murmo"));
        QCOMPARE(reloaded.allRules(), lexicon.allRules());
    }
};

MURMO_TEST(TestLexicon)
#include "tst_Lexicon.moc"

#include "core/store/Lexicon.h"
#include "core/text/DictationPipeline.h"
#include "tests/core/text/PipelineFakes.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include "core/async/CancelToken.h"

#include <QCoroSignal>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace std::chrono_literals;

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

StyleMode mode(const char* id, const char* prompt, const char* trigger)
{
    return StyleMode{
        QString::fromUtf8(id), QString::fromUtf8(id), QString::fromUtf8(prompt), {QString::fromUtf8(trigger)}};
}

const QList<StyleMode> kModes{
    mode("raw", "", "原文模式"),
    mode("casual", "口语整理", "随意模式"),
    mode("formal", "书面整理", "书面模式"),
};

StyleMode modeWithId(const QString& id)
{
    for (const StyleMode& m : kModes) {
        if (m.id == id)
            return m;
    }
    return {};
}

// Scripted styler answers: the sent text comes back unless a row says otherwise.
const QString kEcho = QStringLiteral("<echo>");
const QString kThrow = QStringLiteral("<throw>");
// The styler was not asked.
const QString kNotSent = QStringLiteral("<not sent>");

const QString kNoteHead = QString::fromUtf8("\n用户反复用到的英文专名/术语（标准写法）：");
const QString kNoteTail = QString::fromUtf8(
    "。**这些名字本就是英文，绝不能在转写里以中文音译形式出现**"
    "：听写稿里只要某处与清单里某个英文名沾边——它的中文音译、近音写法、或大小写/拼写变体，哪怕 ASR "
    "音译得不准——一律还原成清单里的英文标准写法，不要保留成中文。（举例说明做法，名字以你看到的清单为准：若清单里有英文"
    "名 Alex，名字位置出现读音沾边的中文\"阿历克斯/阿莱克斯\"之类就还原为 Alex；若清单里有地名 "
    "Boston，被听成\"波士顿\"就还原为 "
    "Boston。）判据放宽：当一个**不像常见中文人名**的词出现在人名/称呼位置（\"我的导师是X\"\"X 老师\"\"X "
    "说\"），且与清单里某英文名读音沾边，就优先还原成那个英文名。更一般地：说话人口述时夹的英文词，若被 ASR "
    "写成了中文音译，能判断出原英文就还原成英文，不要无谓地留成中文。但守住边界：已经正确的保持不变；清单外、且无明显英"
    "文来源线索的普通中文词不要臆测改动。");

// One dictation's world: a lexicon in a temporary folder with two hotwords and one rule, the fake
// styler on a manual clock.
struct Fixture
{
    QTemporaryDir dir;
    std::shared_ptr<Lexicon> lexicon = std::make_shared<Lexicon>(dir.path());
    std::shared_ptr<FakeStyler> styler = std::make_shared<FakeStyler>();
    ManualClock clock;

    Fixture()
    {
        lexicon->addHotword(QStringLiteral("Murmo"));
        lexicon->addHotword(QStringLiteral("Qwen"));
        styler->clock = &clock;
        styler->takes = 250ms;
    }

    DictationPipeline pipeline() { return DictationPipeline(nullptr, styler, lexicon, kModes, &clock); }
};

// A model that never finishes its answer: the call ends only when it is cancelled.
class EndlessStyler : public Styler
{
public:
    mutable bool cancelled = false;

    QCoro::Task<QString> apply(StyleMode, QString, StylePreferences, bool, CancelToken* cancel) const override
    {
        co_await qCoro(cancel ? cancel : &m_never, &CancelToken::cancelled);
        cancelled = true;
        throw CancelledError();
    }

private:
    // Never raised: without a token the answer never comes.
    mutable CancelToken m_never;
};

QCoro::Task<> keepOutput(QCoro::Task<DictationPipeline::Output> task, std::optional<DictationPipeline::Output>* into)
{
    *into = co_await std::move(task);
}

} // namespace

class TestDictationPipeline : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void process_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("defaultMode");
        QTest::addColumn<bool>("translate");
        QTest::addColumn<bool>("noTrailingPeriod");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("asrText");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("finalText");
        QTest::addColumn<QString>("modeId");

        QTest::newRow("punctuation only")
            << s("，。！？") << "casual" << false << false << kEcho << s("") << kNotSent << s("") << "casual";
        QTest::newRow("emoji and symbols only")
            << s("👍🏻 ……") << "formal" << false << false << kEcho << s("") << kNotSent << s("") << "formal";
        QTest::newRow("vocabulary read back after an English header")
            << s("Key terms: Murmo, Qwen.") << "casual" << false << false << kEcho << s("") << kNotSent << s("")
            << "casual";
        QTest::newRow("vocabulary read back after a Chinese header")
            << s("参考词：Murmo、Qwen。") << "casual" << false << false << kEcho << s("") << kNotSent << s("")
            << "casual";
        QTest::newRow("a leading echo is removed before styling")
            << s("专有名词：Murmo、Qwen。明天开会") << "casual" << false << false << kEcho << s("明天开会")
            << s("明天开会") << s("明天开会") << "casual";
        QTest::newRow("correction rules apply before styling")
            << s("我在用木魔听写") << "casual" << false << false << kEcho << s("我在用Murmo听写")
            << s("我在用Murmo听写") << s("我在用Murmo听写") << "casual";
        QTest::newRow("a spoken mode switch styles only what follows")
            << s("书面模式，请帮我写一封邮件。") << "casual" << false << false << s("请帮我写一封邮件。")
            << s("书面模式，请帮我写一封邮件。") << s("请帮我写一封邮件") << s("请帮我写一封邮件。") << "formal";
        QTest::newRow("a trigger followed by a Chinese character selects nothing")
            << s("书面模式请帮我写邮件") << "casual" << false << false << kEcho << s("书面模式请帮我写邮件")
            << s("书面模式请帮我写邮件") << s("书面模式请帮我写邮件") << "casual";
        QTest::newRow("a trigger at the fourth character selects nothing")
            << s("嗯嗯，书面模式，写邮件") << "raw" << false << false << kEcho << s("嗯嗯，书面模式，写邮件")
            << s("嗯嗯，书面模式，写邮件") << s("嗯嗯，书面模式，写邮件") << "raw";
        QTest::newRow("only a trigger: a blank answer is returned as it came")
            << s("书面模式") << "casual" << false << false << s(" ") << s("书面模式") << s("") << s(" ") << "formal";
        QTest::newRow("only a trigger: a refusal becomes the empty text")
            << s("书面模式。") << "casual" << false << false << s("请提供需要整理的文本") << s("书面模式。") << s("")
            << s("") << "formal";
        QTest::newRow("raw mode, short clean Chinese: no model, no period")
            << s("好的。") << "raw" << false << true << kThrow << s("好的。") << kNotSent << s("好的") << "raw";
        QTest::newRow("raw mode shortcut keeps the period when the rule is off")
            << s("好的。") << "raw" << false << false << kThrow << s("好的。") << kNotSent << s("好的。") << "raw";
        QTest::newRow("raw mode while translating goes to the model")
            << s("好的。") << "raw" << true << true << s("OK.") << s("好的。") << s("好的。") << s("OK.") << "raw";
        QTest::newRow("raw mode with a filler goes to the model")
            << s("嗯好的") << "raw" << false << false << kEcho << s("嗯好的") << s("嗯好的") << s("嗯好的") << "raw";
        QTest::newRow("a switch into raw mode loses the final full stop before the shortcut")
            << s("原文模式，好的。") << "formal" << false << false << kThrow << s("原文模式，好的。") << kNotSent
            << s("好的") << "raw";
        QTest::newRow("a short refusal becomes the sent text")
            << s("明天下午三点开会") << "casual" << false << false << s("请提供需要整理的听写稿。")
            << s("明天下午三点开会") << s("明天下午三点开会") << s("明天下午三点开会") << "casual";
        QTest::newRow("a long answer with a marker stays")
            << s("明天下午三点开会") << "casual" << false << false << s("请提供") + QString(77, QChar(0x5B57))
            << s("明天下午三点开会") << s("明天下午三点开会") << s("请提供") + QString(77, QChar(0x5B57)) << "casual";
        QTest::newRow("a marker the user said stays")
            << s("请提供你的身份证号码") << "casual" << false << false << s("请提供你的身份证号码。")
            << s("请提供你的身份证号码") << s("请提供你的身份证号码") << s("请提供你的身份证号码。") << "casual";
        QTest::newRow("trailing periods of the answer are removed")
            << s("好的明天见") << "casual" << false << true << s("好的，明天见。.") << s("好的明天见")
            << s("好的明天见") << s("好的，明天见") << "casual";
        QTest::newRow("translations keep their periods")
            << s("好的明天见") << "casual" << true << true << s("OK, see you tomorrow.") << s("好的明天见")
            << s("好的明天见") << s("OK, see you tomorrow.") << "casual";
    }

    void process()
    {
        QFETCH(QString, raw);
        QFETCH(QString, defaultMode);
        QFETCH(bool, translate);
        QFETCH(bool, noTrailingPeriod);
        QFETCH(QString, answer);
        QFETCH(QString, asrText);
        QFETCH(QString, sent);
        QFETCH(QString, finalText);
        QFETCH(QString, modeId);

        Fixture f;
        f.lexicon->addRule(s("木魔"), s("Murmo"), QStringLiteral("manual"));
        f.styler->respond = [&](const FakeStyler::Call& call) {
            if (answer == kThrow)
                throw FakeStylingError();
            return answer == kEcho ? call.text : answer;
        };
        StylePreferences preferences;
        preferences.noTrailingPeriod = noTrailingPeriod;

        const auto outcome = runTask(f.pipeline().process(raw, modeWithId(defaultMode), preferences, translate, 1234));
        QVERIFY(outcome.value);
        const DictationPipeline::Output& out = *outcome.value;
        QCOMPARE(out.asrText, asrText);
        QCOMPARE(out.finalText, finalText);
        QCOMPARE(out.mode, modeWithId(modeId));
        QCOMPARE(out.asrMs, 1234);
        QCOMPARE(out.chunkCount, 0);
        QCOMPARE(out.stylingFailed, false);
        if (sent == kNotSent) {
            QCOMPARE(f.styler->calls.size(), 0);
            QCOMPARE(out.styleMs, 0);
        } else {
            QCOMPARE(f.styler->calls.size(), 1);
            const FakeStyler::Call& call = f.styler->calls.front();
            QCOMPARE(call.text, sent);
            QCOMPARE(call.mode, modeWithId(modeId));
            QCOMPARE(call.translate, translate);
            QCOMPARE(out.styleMs, 250);
        }
    }

    // The first take after the start may end while the lexicon's file is still being read: it
    // waits for it without holding the thread, and its text gets the user's rules.
    void aTakeEndingBeforeTheLexiconIsReadGetsItsRules()
    {
        Fixture f;
        // The fixture's own lexicon writes the same file: its write must not land after this one.
        QVERIFY(f.lexicon->flush());
        Lexicon(f.dir.path()).addRule(s("木魔"), s("Murmo"), QStringLiteral("user_added"));
        QThreadPool loader;
        loader.setMaxThreadCount(1);
        QSemaphore gate;
        loader.start([&gate] { gate.acquire(); });
        const auto lexicon = std::make_shared<Lexicon>(f.dir.path(), nullptr, &loader);
        const DictationPipeline pipeline(nullptr, f.styler, lexicon, kModes, &f.clock);

        QCoro::Task<DictationPipeline::Output> take = pipeline.process(s("我在用木魔听写"), kModes[1], {}, false, 0);
        QCoreApplication::processEvents();
        QVERIFY(!take.isReady());
        QVERIFY(!lexicon->isLoaded());
        gate.release();
        const auto outcome = runTask(std::move(take));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->asrText, s("我在用Murmo听写"));
        QCOMPARE(outcome.value->finalText, s("我在用Murmo听写"));
    }

    void stylingFailureGivesTheSentText_data()
    {
        QTest::addColumn<bool>("translate");
        QTest::addColumn<QString>("finalText");
        QTest::newRow("periods removed") << false << s("书面模式，请帮我写邮件");
        QTest::newRow("translating keeps them") << true << s("书面模式，请帮我写邮件。。");
    }

    void stylingFailureGivesTheSentText()
    {
        QFETCH(bool, translate);
        QFETCH(QString, finalText);
        Fixture f;
        f.styler->takes = 480ms;
        f.styler->respond = [](const FakeStyler::Call&) -> QString { throw FakeStylingError(); };
        StylePreferences preferences;
        preferences.noTrailingPeriod = true;

        // The mode switch is not spoken at the start, so the whole text is sent.
        const auto outcome =
            runTask(f.pipeline().process(s("嗯嗯，书面模式，请帮我写邮件。。"), kModes[1], preferences, translate, 7));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->stylingFailed, true);
        QCOMPARE(outcome.value->styleMs, 480);
        QCOMPARE(f.styler->calls.size(), 1);
        QCOMPARE(outcome.value->finalText, s("嗯嗯，") + finalText);
        QCOMPARE(outcome.value->asrText, s("嗯嗯，书面模式，请帮我写邮件。。"));
    }

    // Styling has its timeout in all, from the request: then the sent text goes on, unstyled.
    void stylingThatOutlivesItsTimeoutGivesTheSentText()
    {
        Fixture f;
        const auto styler = std::make_shared<EndlessStyler>();
        const DictationPipeline pipeline(nullptr, styler, f.lexicon, kModes, &f.clock);
        std::optional<DictationPipeline::Output> output;
        QCoro::Task<> running = keepOutput(pipeline.process(s("明天开会"), kModes[1], {}, false, 0), &output);
        f.clock.advance(Styler::kTimeout - 1ms);
        QCoreApplication::processEvents();
        QVERIFY(!output);
        f.clock.advance(1ms);
        QTRY_VERIFY(output);
        QVERIFY(output->stylingFailed);
        QCOMPARE(output->finalText, s("明天开会"));
        QCOMPARE(output->styleMs, int(Styler::kTimeout.count()));
        QTRY_VERIFY(styler->cancelled);
    }

    void aStylingRetryDoesNotApplyTheRulesAgain()
    {
        Fixture f;
        f.lexicon->addRule(s("北京"), s("北京市"), QStringLiteral("user_added"));
        f.styler->respond = [](const FakeStyler::Call&) -> QString { throw FakeStylingError(); };
        const auto first = runTask(f.pipeline().process(s("我住在北京"), kModes[1], {}, false, 0));
        QVERIFY(first.value);
        QVERIFY(first.value->stylingFailed);
        QCOMPARE(first.value->asrText, s("我住在北京市"));

        f.styler->respond = nullptr;
        const auto retry = runTask(f.pipeline().restyle(first.value->asrText, kModes[1], {}, false, 0));
        QVERIFY(retry.value);
        QCOMPARE(retry.value->asrText, s("我住在北京市"));
        QCOMPARE(f.styler->calls.back().text, s("我住在北京市"));
        QCOMPARE(retry.value->finalText, s("我住在北京市"));
        QCOMPARE(f.lexicon->allRules().front().hitCount, 1);
    }

    void aLoneSurrogateInAStreamedTranscriptLeavesTheRulesWorking()
    {
        Fixture f;
        f.lexicon->addRule(QStringLiteral("gpt"), QStringLiteral("GPT"), QStringLiteral("user_added"));
        const QString raw = QStringLiteral("用gpt写") + QChar(0xD800);
        const auto outcome = runTask(f.pipeline().process(raw, kModes[1], {}, false, 0));
        QVERIFY(outcome.value);
        QCOMPARE(outcome.value->asrText, QStringLiteral("用GPT写\uFFFD"));
    }

    void englishTermsNoteIsAppendedToTheUsersNotes()
    {
        Fixture f;
        StylePreferences preferences;
        preferences.customNotes = QStringLiteral("- 用“您”称呼对方");
        preferences.preferLineBreaks = true;
        preferences.appContext = QStringLiteral("Mail");

        const auto outcome = runTask(f.pipeline().process(s("明天开会"), kModes[1], preferences, false, 0));
        QVERIFY(outcome.value);
        QCOMPARE(f.styler->calls.size(), 1);
        StylePreferences expected = preferences;
        expected.customNotes =
            QStringLiteral("- 用“您”称呼对方") + kNoteHead + QStringLiteral("Murmo、Qwen") + kNoteTail;
        QCOMPARE(f.styler->calls.front().preferences, expected);
    }

    void noHotwordsMeansNoNote()
    {
        QTemporaryDir dir;
        auto styler = std::make_shared<FakeStyler>();
        ManualClock clock;
        const DictationPipeline pipeline(nullptr, styler, std::make_shared<Lexicon>(dir.path()), kModes, &clock);
        StylePreferences preferences;
        preferences.customNotes = QStringLiteral("- 简洁");
        const auto outcome = runTask(pipeline.process(s("明天开会"), kModes[1], preferences, false, 0));
        QVERIFY(outcome.value);
        QCOMPARE(styler->calls.size(), 1);
        QCOMPARE(styler->calls.front().preferences, preferences);
    }

    void noteNamesAtMostThirtyHotwords()
    {
        QStringList hotwords;
        for (int i = 1; i <= 31; ++i)
            hotwords.append(QStringLiteral("Term%1").arg(i));
        const QString note = DictationPipeline::englishTermsNote(hotwords);
        QVERIFY(note.startsWith(kNoteHead + QStringLiteral("Term1、Term2、")));
        QVERIFY(note.contains(QStringLiteral("、Term30。**")));
        QVERIFY(!note.contains(QStringLiteral("Term31")));
        QVERIFY(note.endsWith(kNoteTail));
    }

    void englishTermsNoteText()
    {
        QCOMPARE(DictationPipeline::englishTermsNote({QStringLiteral("Alex"), QStringLiteral("Boston")}),
                 kNoteHead + QStringLiteral("Alex、Boston") + kNoteTail);
    }
};

MURMO_TEST(TestDictationPipeline)
#include "tst_DictationPipeline.moc"

// What every dictation pays between recognition and styling: the user's correction rules run over
// the transcript. The bare work is looking for each rule's text once.
#include "bench/BenchRatio.h"
#include "core/store/Lexicon.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace {

constexpr int kRules = 500;
constexpr qsizetype kTranscriptLength = 2000;

// A dictation mixing Chinese with a few English terms, about 2,000 characters.
QString transcript()
{
    const QString pool =
        QStringLiteral("今天我们在会议上讨论了项目的进度和下一步的计划大家都觉得需要更多时间来测试新的功能");
    const QStringList terms{QStringLiteral(" GitHub "), QStringLiteral(" API "), QStringLiteral(" review ")};
    QString text;
    uint32_t state = 7;
    while (text.size() < kTranscriptLength) {
        state = state * 1664525u + 1013904223u;
        if (state % 17 == 0)
            text.append(terms[qsizetype(state >> 8) % terms.size()]);
        else if (state % 11 == 0)
            text.append(QStringLiteral("，"));
        else
            text.append(pool.at(qsizetype(state >> 8) % pool.size()));
    }
    return text.left(kTranscriptLength);
}

// Rules the transcript does not contain: half Latin words, half Chinese phrases from characters
// outside the transcript's own.
QList<CorrectionPair> missingRules()
{
    const QString han = QStringLiteral("甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉戌亥");
    QList<CorrectionPair> rules;
    for (int i = 0; i < kRules; ++i) {
        if (i % 2 == 0) {
            rules.append({QStringLiteral("word%1x").arg(i), QStringLiteral("Word%1").arg(i)});
        } else {
            const QString wrong = QString(han.at(i % han.size())) + han.at((i / han.size()) % han.size()) + u'经';
            rules.append({wrong, wrong + u'京'});
        }
    }
    return rules;
}

struct Setup
{
    explicit Setup(const QList<CorrectionPair>& rules)
    {
        lexicon = std::make_unique<Lexicon>(dir.path());
        lexicon->seedIfEmpty({}, rules);
        for (const CorrectionPair& rule : rules)
            wrongs.append(rule.wrong);
    }

    void baseline() const
    {
        for (const QString& wrong : wrongs)
            benchmark::DoNotOptimize(text.contains(wrong));
    }

    QTemporaryDir dir;
    std::unique_ptr<Lexicon> lexicon;
    QStringList wrongs;
    const QString text = transcript();
};

void ApplyNoRuleHits(benchmark::State& state)
{
    Setup setup(missingRules());
    for (auto _ : state)
        benchmark::DoNotOptimize(setup.lexicon->apply(setup.text));
    BenchRatio::compare(
        state, "apply 500 rules, none hit / 500 substring searches",
        [&] { benchmark::DoNotOptimize(setup.lexicon->apply(setup.text)); }, [&] { setup.baseline(); }, 3.0);
}

// Five rules that do hit: their replacements are made and the hit counts saved (one atomic
// rewrite of the file per call, as after a real dictation, on the lexicon's worker).
void ApplyFiveRulesHit(benchmark::State& state)
{
    QList<CorrectionPair> rules = missingRules();
    rules[0] = {QStringLiteral("review"), QStringLiteral("Review")};
    rules[1] = {QStringLiteral("API"), QStringLiteral("api")};
    rules[2] = {QStringLiteral("项目"), QStringLiteral("工程")};
    rules[3] = {QStringLiteral("测试"), QStringLiteral("检验")};
    rules[4] = {QStringLiteral("计划"), QStringLiteral("规划")};
    Setup setup(rules);
    for (auto _ : state)
        benchmark::DoNotOptimize(setup.lexicon->apply(setup.text));
    BenchRatio::compare(
        state, "apply 500 rules, 5 hit, saved / 500 substring searches",
        [&] { benchmark::DoNotOptimize(setup.lexicon->apply(setup.text)); }, [&] { setup.baseline(); }, 3.0);
}

// A lexicon as years of imports leave it: 100,000 rules and a million hot words.
constexpr int kLargeRules = 100000;
constexpr int kLargeHotwords = 1000000;

// Four letters for n, the first changing fastest: rules start as variously as real words do.
QString lettersOf(int n)
{
    QString word;
    for (int digit = 0; digit < 4; ++digit, n /= 26)
        word += QChar(u'a' + n % 26);
    return word;
}

std::unique_ptr<Lexicon> largeLexicon(const QString& directory)
{
    QString text;
    text.reserve(qsizetype(kLargeRules) * 28 + qsizetype(kLargeHotwords) * 12);
    for (int i = 0; i < kLargeRules; ++i)
        text += lettersOf(i) + QStringLiteral("x -> Rule%1\n").arg(i);
    for (int i = 0; i < kLargeHotwords; ++i)
        text += QStringLiteral("Hot%1\n").arg(i);
    auto lexicon = std::make_unique<Lexicon>(directory);
    lexicon->importText(text);
    lexicon->flush();
    return lexicon;
}

double millisecondsOf(const std::function<void()>& call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The calls the GUI thread makes on that lexicon: a dictation's rules with a hit (a take of about
// a minute) and what the take reads of the lexicon next (the matcher, the styler's top hot words,
// the next take's vocabulary), the lexicon tab's add and remove, and a hot word added, each right
// after another change, while that one's file is still being written. How long each holds its caller against a frame
// (16 ms).
void ChangesOfALargeLexiconHoldTheCaller(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::unique_ptr<Lexicon> lexicon = largeLexicon(dir.path());
    const QString hit = transcript().left(200) + u' ' + lettersOf(4242) + u'x';
    std::vector<double> applies;
    std::vector<double> reads;
    std::vector<double> adds;
    std::vector<double> removes;
    std::vector<double> hotwords;
    int round = 0;
    for (auto _ : state) {
        const QString wrong = QStringLiteral("added%1x").arg(round++);
        applies.push_back(millisecondsOf([&] { benchmark::DoNotOptimize(lexicon->apply(hit)); }));
        reads.push_back(millisecondsOf([&] {
            benchmark::DoNotOptimize(lexicon->hotwordMatcher());
            benchmark::DoNotOptimize(lexicon->topHotwords(30));
            benchmark::DoNotOptimize(lexicon->asrHotwords());
        }));
        adds.push_back(millisecondsOf([&] { lexicon->addRule(wrong, "Added", "user_added"); }));
        const QUuid id = lexicon->allRules().constLast().id;
        removes.push_back(millisecondsOf([&] { lexicon->removeRule(id); }));
        hotwords.push_back(millisecondsOf([&] { lexicon->addHotword(wrong + QStringLiteral("Hot")); }));
    }
    lexicon->flush();
    const auto longest = [](const std::vector<double>& ms) { return *std::max_element(ms.cbegin(), ms.cend()); };
    std::printf("SPLIT 100,000 rules + 1 M hot words, hold of the caller (median, longest): apply with a hit %.2f, "
                "%.2f ms; the take's reads after it %.2f, %.2f ms; addRule %.2f, %.2f ms; removeRule %.2f, %.2f ms; "
                "addHotword %.2f, %.2f ms\n",
                BenchRatio::median(applies), longest(applies), BenchRatio::median(reads), longest(reads),
                BenchRatio::median(adds), longest(adds), BenchRatio::median(removes), longest(removes),
                BenchRatio::median(hotwords), longest(hotwords));
    const double median = std::max({BenchRatio::median(applies), BenchRatio::median(reads), BenchRatio::median(adds),
                                    BenchRatio::median(removes), BenchRatio::median(hotwords)});
    BenchRatio::report(state, "large lexicon: slowest change (median) / 16 ms", median / 16.0, 1.0);
}

} // namespace

BENCHMARK(ApplyNoRuleHits)->Unit(benchmark::kMicrosecond);
BENCHMARK(ApplyFiveRulesHit)->Unit(benchmark::kMicrosecond);
BENCHMARK(ChangesOfALargeLexiconHoldTheCaller)->Unit(benchmark::kMillisecond)->Iterations(30);

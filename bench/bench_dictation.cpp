// What the user waits for between the second press of the hotkey and the text in the target, for
// a 10 s take with a gateway on loopback that answers at once. The wait splits into the pauses
// the desktop needs (the inserter lets the target settle before it pastes), which run on a manual
// clock here and are added up, and everything else, our own work, timed on the wall clock. The
// ratio own work / prescribed waits is the figure to keep small.
//
// The same with a lexicon of 30,000 correction rules against one of 300: the wait must not grow
// with the user's rules, and no single step may hold the main thread longer than a frame. And
// with 100,000 rules and a million hot words, one rule hitting every take: the hit is saved while
// the capsule paints (its spinner, then the result), the desktop's pauses sat out on the wall
// clock as the user sits them out, and neither that save nor the painting may hold the main thread
// longer than a frame, from the stop until the save is on disk, beside the same takes without a
// hit in the same run. Runs on the desktop: on a real display the painter waits for the X server
// and fills in stripes on Qt's global pool, where a save's work would make it wait.
#include "app/controller/DictationController.h"
#include "app/feedback/OverlayPanel.h"
#include "app/ui/BusySpinner.h"
#include "bench/BenchRatio.h"
#include "bench/DesktopBenchMain.h"
#include "bench/MainThreadHolds.h"
#include "bench/PaintCounter.h"
#include "core/audio/Resampler.h"
#include "core/recognition/StreamingAsr.h"
#include "core/store/Lexicon.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/support/FakeStreamingGateway.h"

#include <QApplication>

#include <algorithm>
#include <set>

using namespace std::chrono_literals;
using std::chrono::milliseconds;

namespace {

constexpr qsizetype kTakeSamples = 10 * 16000;
// Longer timers are deadlines (recognition timeouts, the race delay, the recording limit) that a
// good day never reaches; shorter ones are pauses the flow sits out.
constexpr milliseconds kLongestPause{500};

// A manual clock that knows which short pauses are pending, so the bench can sit them out at
// once. Only the inserter's pauses hold the text back; the overlay's animations run beside it and
// are sat out without being counted.
class PauseClock : public ManualClock
{
public:
    TimerId schedule(milliseconds delay, std::function<void()> callback) override
    {
        const bool pause = delay <= kLongestPause;
        const milliseconds due = now() + delay;
        const TimerId id = ManualClock::schedule(delay, std::move(callback));
        if (pause)
            m_pauses.insert({due, id});
        if (delay == TextInserter::settleDelay || delay == TextInserter::waitStep)
            m_prescribed.insert(id);
        return id;
    }

    void cancel(TimerId id) override
    {
        std::erase_if(m_pauses, [id](const auto& pause) { return pause.second == id; });
        ManualClock::cancel(id);
    }

    // How long until the next pending pause ends; zero when none is pending.
    milliseconds untilNextPause()
    {
        std::erase_if(m_pauses, [this](const auto& pause) { return pause.first < now(); });
        return m_pauses.empty() ? 0ms : std::max(0ms, m_pauses.begin()->first - now());
    }

    // Advances to the next pending pause, if any, and returns how long that was when the text
    // waited for it.
    milliseconds sitOutNextPause()
    {
        std::erase_if(m_pauses, [this](const auto& pause) { return pause.first < now(); });
        if (m_pauses.empty())
            return 0ms;
        const auto [due, id] = *m_pauses.begin();
        const milliseconds wait = std::max(0ms, due - now());
        m_pauses.erase(m_pauses.begin());
        advance(wait);
        return m_prescribed.erase(id) ? wait : 0ms;
    }

private:
    std::set<std::pair<milliseconds, TimerId>> m_pauses;
    std::set<TimerId> m_prescribed;
};

struct Split
{
    double prescribedMs = 0;
    double ownMs = 0;
    // The longest the main thread was held at once: the stop call or one round of events.
    double longestStallMs = 0;
    // How long the stop itself holds the main thread, and how long converting the take there
    // would hold it.
    double stopCallMs = 0;
    double convertMs = 0;
    // With the pauses sat out on the wall clock: the main thread's own CPU in its longest hold,
    // and the paints of the capsule and of its spinner from the stop until the lexicon was saved.
    double longestStallCpuMs = 0;
    int capsulePaints = 0;
    int spinnerPaints = 0;
};

// The application over fakes, built once and kept, as the program keeps it between dictations:
// what is made on first use (the cue sounds, the panel, the connections) is not counted.
struct Rig
{
    FakeApp fake;
    PauseClock clock;
    FakeStreamingGateway streaming;
    std::unique_ptr<AppServices> app;
    std::unique_ptr<DictationController> controller;
    bool inserted = false;

    Rig()
    {
        fake.audioInput.setFormat({16000, 1});
        fake.workspace.addApplication(QStringLiteral("gedit"), 100, QStringLiteral("Gedit"));
        fake.workspace.frontPid = 100;
        AppServices::Options options;
        options.settingsFile = fake.settingsFile();
        options.dataDirectory = fake.dataDirectory();
        options.endpoints = ServiceChoice::Endpoints{fake.gateway.baseUrl(), fake.gateway.baseUrl(),
                                                     fake.gateway.baseUrl(), fake.gateway.baseUrl(), &fake.transport};
        app = std::make_unique<AppServices>(fake.ports(clock), fake.screens, options);
        app->settings().setValue(SettingKey::gatewayToken, QStringLiteral("device-token"));
        app->settings().setValue(SettingKey::currentModeId, QStringLiteral("casual"));
        app->settings().setValue(SettingKey::duckOthers, false);
        controller = std::make_unique<DictationController>(*app, Migrations::FnKeySystem{}, streaming.baseUrl());
        QObject::connect(&app->inserter(), &TextInserter::inserted, [this] { inserted = true; });
    }

    // One dictation from the stop to the paste, the streaming session answering the final commit
    // at once. With realPauses the desktop's pauses last as long on the wall clock as they would
    // for the user, the event loop turning (and the capsule painting) meanwhile, and the longest
    // hold is followed on until the lexicon has saved what the take changed.
    Split stopToText(const QString& transcript = FakeGateway::kTranscript, bool realPauses = false)
    {
        streaming.queueTranscript(transcript);
        inserted = false;
        const qsizetype historyBefore = app->history().all().size();
        controller->recording().start();
        FakeStreamingGateway::waitFor([&] {
            const std::shared_ptr<StreamingAsr>& session = controller->recording().streamingSession();
            return session && session->stage() == StreamingAsr::Stage::Streaming;
        });
        const qsizetype sentBefore = streaming.audioSamples();
        std::vector<float> frames(static_cast<std::size_t>(kTakeSamples));
        for (std::size_t i = 0; i < frames.size(); ++i)
            frames[i] = 0.2f * float(std::sin(double(i) * 0.07));
        std::vector<std::vector<float>> buffers;
        for (std::size_t at = 0; at < frames.size(); at += 4096)
            buffers.emplace_back(frames.begin() + qsizetype(at),
                                 frames.begin() + qsizetype(std::min(at + 4096, frames.size())));
        for (const std::vector<float>& buffer : buffers)
            fake.audioInput.deliver(buffer);
        // The audio is on the wire before the key goes down, as it is after a real take.
        FakeStreamingGateway::waitFor([&] { return streaming.audioSamples() - sentBefore >= kTakeSamples - 4096; });

        Split split;
        std::optional<PaintCounter> capsule;
        std::optional<PaintCounter> spinner;
        if (OverlayPanel* panel = app->overlay().panel()) {
            capsule.emplace(panel);
            spinner.emplace(panel->findChild<BusySpinner*>());
        }
        MainThreadHolds holds;
        const auto start = std::chrono::steady_clock::now();
        holds.hold([this] { controller->recording().stop(); });
        split.stopCallMs = holds.longestMs;
        while (!inserted && std::chrono::steady_clock::now() - start < 10s) {
            holds.hold([] { QCoreApplication::processEvents(); });
            if (inserted)
                break;
            if (realPauses) {
                const auto until = std::chrono::steady_clock::now() + clock.untilNextPause();
                holds.turnUntil([&] { return inserted || std::chrono::steady_clock::now() >= until; }, 1s);
            }
            if (!inserted)
                split.prescribedMs += double(clock.sitOutNextPause().count());
        }
        if (realPauses)
            holds.turnUntil([this] { return app->lexicon()->isSaved(); }, 30s);
        split.longestStallMs = holds.longestMs;
        split.longestStallCpuMs = holds.longestCpuMs;
        split.capsulePaints = capsule ? capsule->paints() : 0;
        split.spinnerPaints = spinner ? spinner->paints() : 0;
        split.ownMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        // Let the dictation finish filing before the next one starts.
        FakeStreamingGateway::waitFor([&] { return app->history().all().size() == historyBefore + 1; });
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
            clock.advance(100ms);
        }
        const auto converting = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(convertTake(buffers, {16000, 1}));
        split.convertMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - converting).count();
        return split;
    }
};

void StopToText(benchmark::State& state)
{
    Rig rig;
    rig.stopToText(); // warm-up: first-use costs are not what a dictation waits for
    std::vector<double> own;
    std::vector<double> prescribed;
    std::vector<double> stopCall;
    std::vector<double> convert;
    for (auto _ : state) {
        const Split split = rig.stopToText();
        own.push_back(split.ownMs);
        prescribed.push_back(split.prescribedMs);
        stopCall.push_back(split.stopCallMs);
        convert.push_back(split.convertMs);
        state.SetIterationTime(split.ownMs / 1000.0);
    }
    const double ownMs = BenchRatio::median(own);
    const double waitMs = BenchRatio::median(prescribed);
    const double ratio = waitMs > 0 ? ownMs / waitMs : 0;
    state.counters["own_ms"] = ownMs;
    state.counters["prescribed_ms"] = waitMs;
    state.counters["ratio"] = ratio;
    std::printf("SPLIT stop to text, 10 s take: prescribed waits %.1f ms, own work %.2f ms, ratio %.3fx "
                "(target 0.25x) %s\n",
                waitMs, ownMs, ratio, ratio <= 0.25 ? "ok" : "OVER TARGET");
    const double stopMs = BenchRatio::median(stopCall);
    const double convertMs = BenchRatio::median(convert);
    std::printf("SPLIT the stop holds the main thread %.2f ms, converting the 10 s take there would hold it "
                "%.2f ms, ratio %.3fx\n",
                stopMs, convertMs, convertMs > 0 ? stopMs / convertMs : 0);
}
BENCHMARK(StopToText)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

// A lexicon of count rules as a long import leaves it: every wrong and every right different,
// none of them in the take's transcript, Latin names and Chinese words mixed.
void fillLexicon(Lexicon& lexicon, int count)
{
    const QString han = QStringLiteral("甲乙丙丁戊己庚辛壬癸子丑寅卯辰巳午未申酉戌亥金木水火土");
    QString text;
    for (int i = 0; i < count; ++i) {
        QString wrong;
        for (int n = i, digit = 0; digit < 4; ++digit, n /= int(han.size()))
            wrong += han.at(n % han.size());
        QString name = QStringLiteral("Term");
        for (int n = i; n > 0; n /= 26)
            name += QChar(u'a' + n % 26);
        const QString right = i % 2 == 0 ? name : wrong.left(3) + QStringLiteral("京");
        text += wrong + QStringLiteral(" -> ") + right + u'\n';
    }
    lexicon.importText(text);
}

void StopToTextLargeLexicon(benchmark::State& state)
{
    Rig small;
    fillLexicon(*small.app->lexicon(), 300);
    Rig large;
    fillLexicon(*large.app->lexicon(), 30000);
    small.stopToText();
    large.stopToText();
    std::vector<double> smallOwn;
    std::vector<double> largeOwn;
    std::vector<double> largeOverSmall;
    std::vector<double> stalls;
    for (auto _ : state) {
        smallOwn.push_back(small.stopToText().ownMs);
        const Split split = large.stopToText();
        largeOwn.push_back(split.ownMs);
        largeOverSmall.push_back(smallOwn.back() > 0 ? split.ownMs / smallOwn.back() : 0);
        stalls.push_back(split.longestStallMs);
        state.SetIterationTime(split.ownMs / 1000.0);
    }
    // Each pair runs back to back on the same machine: the median of the pairs' ratios is not moved
    // by a neighbour that slows a few of them.
    const double ratio = BenchRatio::median(largeOverSmall);
    state.counters["ratio"] = ratio;
    std::printf("RATIO %-48s %6.2fx (target %.2fx) %s\n", "stop to text, 30000 vs 300 rules", ratio, 1.1,
                ratio <= 1.1 ? "ok" : "OVER TARGET");
    const double stall = BenchRatio::median(stalls);
    state.counters["longest_stall_ms"] = stall;
    std::printf("SPLIT stop to text, 30000 rules: %.2f ms (300 rules: %.2f ms), longest hold of the main thread "
                "%.2f ms (target 16 ms) %s\n",
                BenchRatio::median(largeOwn), BenchRatio::median(smallOwn), stall, stall <= 16 ? "ok" : "OVER TARGET");
}
BENCHMARK(StopToTextLargeLexicon)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

// A take that hits no rule of the large lexicon: the same words, already as the rule writes them.
const QString kTranscriptWithoutHit = QStringLiteral("今天天色不错");

struct HitTakes
{
    std::vector<double> stalls;
    std::vector<double> cpus;
    std::vector<double> capsulePaints;
    std::vector<double> spinnerPaints;

    void add(const Split& split)
    {
        stalls.push_back(split.longestStallMs);
        cpus.push_back(split.longestStallCpuMs);
        capsulePaints.push_back(split.capsulePaints);
        spinnerPaints.push_back(split.spinnerPaints);
    }
    double median() const { return BenchRatio::median(stalls); }
    double longest() const { return *std::max_element(stalls.cbegin(), stalls.cend()); }
    long long over() const
    {
        return std::count_if(stalls.cbegin(), stalls.cend(), [](double ms) { return ms > 16; });
    }
};

void StopToTextLargeLexiconHit(benchmark::State& state)
{
    Rig rig;
    Lexicon& lexicon = *rig.app->lexicon();
    fillLexicon(lexicon, 100000);
    QStringList hotwords;
    hotwords.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        hotwords.append(QStringLiteral("Hot%1").arg(i));
    lexicon.addHotwords(hotwords);
    hotwords.clear();
    // Rewrites the fake recogniser's transcript in every take.
    lexicon.addRule(QStringLiteral("天气"), QStringLiteral("天色"), QStringLiteral("user_added"));
    lexicon.flush();
    rig.stopToText(kTranscriptWithoutHit, true);
    const qint64 hitsBefore = lexicon.allRules().constLast().hitCount;
    HitTakes hits;
    HitTakes misses;
    for (auto _ : state) {
        // A take without a hit first, its lexicon at rest, as the baseline of the one with a hit
        // right after it on the same machine.
        misses.add(rig.stopToText(kTranscriptWithoutHit, true));
        const Split split = rig.stopToText(FakeGateway::kTranscript, true);
        hits.add(split);
        state.SetIterationTime(split.ownMs / 1000.0);
    }
    lexicon.flush();
    const qint64 hitTakes = lexicon.allRules().constLast().hitCount - hitsBefore;
    const double stall = hits.median();
    const bool ok = stall <= 16 && hits.longest() <= 32;
    state.counters["longest_stall_ms"] = stall;
    std::printf("HOLD stop to saved, 100000 rules + 1 M hot words on the desktop, the main thread's longest hold per "
                "take: a rule hit in %lld of %zu takes median %.2f ms, longest %.2f ms, %lld over 16 ms; without a "
                "hit median %.2f ms, longest %.2f ms (target 16 ms median, none over 32 ms) %s\n",
                static_cast<long long>(hitTakes), hits.stalls.size(), stall, hits.longest(), hits.over(),
                misses.median(), misses.longest(), ok ? "ok" : "OVER TARGET");
    std::printf("SPLIT stop to saved with a hit: the main thread's CPU in its longest hold %.2f ms (the rest waits; "
                "%.2f ms without a hit); the capsule painted %.0f times a take, its spinner %.0f\n",
                BenchRatio::median(hits.cpus), BenchRatio::median(misses.cpus), BenchRatio::median(hits.capsulePaints),
                BenchRatio::median(hits.spinnerPaints));
}
BENCHMARK(StopToTextLargeLexiconHit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    return runDesktopBenchmarks<QApplication>(argc, argv, "bench_dictation", {"DISPLAY"});
}

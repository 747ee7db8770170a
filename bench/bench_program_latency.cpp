// What the user waits for between letting go of the talk key and the text in another
// application's field, through the real murmo program: started with a throw-away home, a 10 s
// take spoken into the desktop's virtual microphone, the gateway on loopback answering at once.
// The wait splits into the floor of getting text into another application at all (this program
// puts the same text on the clipboard and sends Ctrl+V itself, measured the same way in the same
// run), the pause murmo's inserter prescribes for the target to settle, and the rest: murmo's own
// work, which should be small next to that pause. Needs the headless desktop
// (scripts/with-desktop); without a display or a sound server it says so and succeeds.

#include "app/desktop/TextInserter.h"
#include "bench/BenchRatio.h"
#include "bench/DesktopBenchMain.h"
#include "bench/InternetSegments.h"
#include "tests/app/desktop/hotkeys_x11/XTestKeyboard.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/app/desktop/insertion_x11/FieldHelper.h"
#include "tests/app/program_desktop/MurmoProcess.h"
#include "tests/support/FakeServices.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;

// What the fake gateway heard and tidied, without the full stop the casual mode drops.
const QString kSentence = QStringLiteral("Hello from the microphone");
// About ten seconds of speech, a dictation of ordinary length.
const QString kLongSpeech = QStringLiteral(
    "Hello from the microphone. This take keeps on talking for about ten seconds, as a real dictation would, so "
    "that the recording sent at the stop is as long as the ones people make every day.");
const QString kUserClipboard = QStringLiteral("what the user had copied");
constexpr int kRounds = 3;
constexpr int kStepMs = 20000;
// A person's tap of the talk key; the program stops the recording when it goes down.
constexpr int kHoldMs = 100;
// Between two reads of the field, so the reads do not keep the target busy.
constexpr int kPollGapMs = 1;

double msBetween(TimePoint from, TimePoint to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs this process's event loop: the fake gateway and the clipboard this process owns are served
// the moment they are asked, where QTest::qWait would sleep in steps of up to 10 ms.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs = kStepMs)
{
    const TimePoint start = SteadyClock::now();
    while (!done()) {
        if (msBetween(start, SteadyClock::now()) > timeoutMs)
            return false;
        spin(10);
    }
    return true;
}

template <typename T> T awaited(QFuture<T> future)
{
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    return future.result();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One dictation as the clocks saw it.
struct Round
{
    double takeSeconds = 0;
    TimePoint pressed;
    TimePoint released;
    TimePoint asrAsked;
    TimePoint styleAsked;
    TimePoint landed;

    double releaseToText() const { return msBetween(released, landed); }

    // The inserter does not paste while a key is down; it hears of the key's release at once and
    // then lets the target settle before the keys go out.
    static double prescribed() { return double(TextInserter::settleDelay.count()); }
};

// The text read back from the field. The reads go through AT-SPI rather than the helper's own
// command channel: waiting for that channel blocks this process, which then cannot hand the
// helper the clipboard it pastes from.
struct Arrival
{
    std::optional<TimePoint> at;
    int reads = 0;
    double spanMs = 0;
};

class Rig
{
public:
    // Empty when everything is up, else what is missing.
    std::string setUp()
    {
        if (!QFileInfo(MurmoProcess::programPath()).isExecutable())
            return "build the murmo target first";
        m_longSpeech = m_dir.filePath(QStringLiteral("long.wav"));
        m_shortSpeech = m_dir.filePath(QStringLiteral("short.wav"));
        if (!speak(kLongSpeech, m_longSpeech) || !speak(kSentence, m_shortSpeech))
            return "espeak-ng could not make the speech";
        m_desktop = std::make_unique<DesktopPorts>();
        if (!m_desktop->isUsable())
            return "the desktop has no X display, XTest or AT-SPI";
        m_keyboard = std::make_unique<XTestKeyboard>();
        m_helper = std::make_unique<FieldHelper>(QStringLiteral("MurmoLatencyTarget"), QStringLiteral("Letter"));
        if (!m_keyboard->isOpen() || !m_helper->isReady())
            return "the XTest keyboard or the field helper did not start";
        // Reached the way the real gateway is, not with loopback's 64 KB segments, on which every
        // upload of a take would stall (see InternetSegments.h).
        if (!useInternetSegmentSize(m_gateway))
            return "the fake gateway's segment size could not be set";
        m_gateway.setHandler("POST", QStringLiteral("/v1/asr"), [this](const RecordedRequest&) {
            m_asrAsked = SteadyClock::now();
            return FakeReply::json({{QStringLiteral("text"), kSentence}});
        });
        m_gateway.setHandler("POST", QStringLiteral("/v1/style"), [this](const RecordedRequest&) {
            m_styleAsked = SteadyClock::now();
            return FakeReply::json({{QStringLiteral("text"), kSentence}});
        });
        // As the program tests set it up: onboarded, streaming off (this fake takes no
        // WebSocket), the casual mode.
        const QVariantMap settings{{QStringLiteral("didOnboard"), true},
                                   {QStringLiteral("didForceAutoEngineV11"), true},
                                   {QStringLiteral("useStreaming"), false},
                                   {QStringLiteral("currentModeId"), QStringLiteral("casual")}};
        m_murmo = std::make_unique<MurmoProcess>(m_gateway.baseUrl(), settings);
        if (!m_murmo->start() || !spinUntil([this] { return !m_gateway.requests().isEmpty(); }))
            return "murmo did not start";
        const auto murmoInFront = [this] {
            const auto front = m_desktop->workspace.frontApplication();
            return front && front->pid == m_murmo->pid();
        };
        if (!spinUntil(murmoInFront))
            return "murmo's window did not come up";
        return {};
    }

    // A take of the speech, then the stop, timed until the text is in the field.
    std::optional<Round> dictate(bool longTake)
    {
        const std::optional<AccessibleElementPtr> field = frontField();
        if (!field)
            return std::nullopt;
        const qsizetype filed = m_murmo->history().size();
        const qsizetype asked = m_gateway.requestsTo(QStringLiteral("/v1/asr")).size();
        m_keyboard->press("Menu");
        const TimePoint started = SteadyClock::now();
        spin(kHoldMs);
        m_keyboard->release("Menu");
        if (!spinUntil([this] { return m_murmo->isCapturing(); }) || !play(longTake ? m_longSpeech : m_shortSpeech))
            return std::nullopt;
        spin(300); // the last words reach the recorder through the sound server

        Round round;
        m_asrAsked = m_styleAsked = TimePoint{};
        m_keyboard->press("Menu");
        round.pressed = SteadyClock::now();
        spin(kHoldMs);
        m_keyboard->release("Menu");
        round.released = SteadyClock::now();
        round.takeSeconds = msBetween(started, round.pressed) / 1000.0;
        const Arrival arrival = readUntil(*field, kSentence);
        round.asrAsked = m_asrAsked;
        round.styleAsked = m_styleAsked;
        if (!arrival.at || m_gateway.requestsTo(QStringLiteral("/v1/asr")).size() != asked + 1 ||
            round.asrAsked < round.pressed || round.styleAsked < round.asrAsked)
            return std::nullopt;
        round.landed = *arrival.at;
        m_reads += arrival.reads;
        m_readSpanMs += arrival.spanMs;
        // The take is filed and the user's clipboard is back before the next measurement.
        if (!spinUntil([&] { return m_murmo->history().size() == filed + 1; }))
            return std::nullopt;
        spin(int(TextInserter::restoreDelay.count()) + 100);
        return round;
    }

    // The floor: the same text put on the clipboard here and pasted with Ctrl+V through XTest,
    // timed from the start until it is in the field.
    std::optional<double> paste()
    {
        const std::optional<AccessibleElementPtr> field = frontField();
        if (!field)
            return std::nullopt;
        const TimePoint start = SteadyClock::now();
        m_desktop->clipboard.setText(kSentence);
        if (!m_desktop->keys.postKey(KeySynthesizer::keyV, KeySynthesizer::controlFlag, true))
            return std::nullopt;
        const Arrival arrival = readUntil(*field, kSentence);
        m_desktop->keys.postKey(KeySynthesizer::keyV, KeySynthesizer::controlFlag, false);
        if (!arrival.at)
            return std::nullopt;
        m_reads += arrival.reads;
        m_readSpanMs += arrival.spanMs;
        return msBetween(start, *arrival.at);
    }

    double readIntervalMs() const { return m_reads > 0 ? m_readSpanMs / m_reads : 0; }

private:
    static bool speak(const QString& text, const QString& path)
    {
        QProcess espeak;
        espeak.start(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), path, text});
        return espeak.waitForFinished(30000) && espeak.exitCode() == 0 && QFileInfo(path).size() > 16000;
    }

    static bool play(const QString& path)
    {
        QProcess player;
        player.start(QStringLiteral("paplay"), {QStringLiteral("--device=out"), path});
        return spinUntil([&] { return player.state() == QProcess::NotRunning; }) && player.exitCode() == 0;
    }

    // The helper's empty line in front, the user's own text on the clipboard, as before a
    // dictation; its accessible field, or nothing when that cannot be had.
    std::optional<AccessibleElementPtr> frontField()
    {
        if (!m_helper->set(QStringLiteral("line"), QString()) || !m_helper->copy(kUserClipboard) ||
            !m_desktop->bringToFront(*m_helper, QStringLiteral("line")))
            return std::nullopt;
        AccessibleElementPtr field = awaited(m_desktop->accessibility.focusedElement());
        if (!field || awaited(m_desktop->accessibility.value(field)) != QString())
            return std::nullopt;
        return field;
    }

    Arrival readUntil(const AccessibleElementPtr& field, const QString& expected)
    {
        Arrival arrival;
        const TimePoint start = SteadyClock::now();
        while (msBetween(start, SteadyClock::now()) < kStepMs) {
            const std::optional<QString> value = awaited(m_desktop->accessibility.value(field));
            ++arrival.reads;
            if (value == expected) {
                arrival.at = SteadyClock::now();
                break;
            }
            spin(kPollGapMs);
        }
        arrival.spanMs = msBetween(start, SteadyClock::now());
        return arrival;
    }

    QTemporaryDir m_dir;
    QString m_longSpeech;
    QString m_shortSpeech;
    FakeGateway m_gateway;
    TimePoint m_asrAsked;
    TimePoint m_styleAsked;
    std::unique_ptr<DesktopPorts> m_desktop;
    std::unique_ptr<XTestKeyboard> m_keyboard;
    std::unique_ptr<FieldHelper> m_helper;
    // Last, so it is ended (asked to quit, killed when it does not) while its gateway still answers.
    std::unique_ptr<MurmoProcess> m_murmo;
    int m_reads = 0;
    double m_readSpanMs = 0;
};

void StopToText(benchmark::State& state)
{
    Rig rig;
    const std::string problem = rig.setUp();
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    for (auto _ : state) {
        // First-use costs (the overlay's first showing, the connection to the gateway, the
        // clipboard's first owner) are not what a dictation waits for.
        if (!rig.dictate(false) || !rig.paste()) {
            state.SkipWithError("the warm-up dictation did not land");
            break;
        }
        std::vector<Round> rounds;
        std::vector<double> floors;
        for (int i = 0; i < kRounds; ++i) {
            const std::optional<Round> round = rig.dictate(true);
            const std::optional<double> floor = rig.paste();
            if (!round || !floor) {
                state.SkipWithError("a dictation did not land");
                break;
            }
            rounds.push_back(*round);
            floors.push_back(*floor);
        }
        if (rounds.size() != std::size_t(kRounds))
            break;
        const double floor = median(floors);
        std::vector<double> totals;
        std::vector<double> own;
        for (const Round& round : rounds) {
            totals.push_back(round.releaseToText());
            own.push_back(round.releaseToText() - floor - round.prescribed());
            std::printf("round: %.1f s take; stop key down -> /v1/asr asked %.1f ms -> /v1/style asked %.1f ms; key "
                        "up %.0f ms after it went down; key up -> text %.1f ms (settle %lld)\n",
                        round.takeSeconds, msBetween(round.pressed, round.asrAsked),
                        msBetween(round.asrAsked, round.styleAsked), msBetween(round.pressed, round.released),
                        round.releaseToText(), (long long)TextInserter::settleDelay.count());
        }
        const double ownMs = median(own);
        const double waitMs = Round::prescribed();
        state.SetIterationTime(median(totals) / 1000.0);
        state.counters["total_ms"] = median(totals);
        state.counters["floor_ms"] = floor;
        state.counters["prescribed_ms"] = waitMs;
        state.counters["own_ms"] = ownMs;
        std::printf(
            "SPLIT stop key up to text, real program, median of %d: total %.1f ms = paste floor %.1f ms + "
            "prescribed wait %.1f ms (TextInserter::settleDelay) + own work %.1f ms; field read every %.2f ms\n",
            kRounds, median(totals), floor, waitMs, ownMs, rig.readIntervalMs());
        BenchRatio::report(state, "stop to text own work / prescribed waits (murmo)", waitMs > 0 ? ownMs / waitMs : 0,
                           0.25);
    }
}
BENCHMARK(StopToText)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runDesktopBenchmarks<QApplication>(argc, argv, "bench_program_latency", {"DISPLAY", "PULSE_SERVER"});
}

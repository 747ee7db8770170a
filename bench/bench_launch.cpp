// What starting murmo costs the user, next to a bare Qt Widgets program that loads the same Qt
// modules and opens one window, both started as real processes in the same run: the time until
// the main window is on screen, the memory it holds with a long history, and what it costs
// while it sits idle with the hotkeys armed. Needs a desktop with a window manager
// (scripts/with-desktop); without a display it says so and succeeds.

#include "bench/BenchRatio.h"
#include "bench/DesktopBenchMain.h"
#include "bench/LaunchedProgram.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr int kRounds = 5;
// A start is tens of milliseconds, and a shared machine moves a single round's ratio by 15 % either
// way: its ratio is the median of this many rounds, enough that the verdict holds from run to run
// (fifteen moved it between 0.97 and 1.18), as many as each order of the three starts gets alike.
constexpr int kStartRounds = 45;
// After the window is up, start-up's background work (keyring, registration) is let finish
// before memory and idle cost are read.
constexpr int kSettleMs = 2000;
// The idle target's own window: long enough to catch a timer that wakes only every few seconds.
constexpr int kIdleWindowMs = 30000;
// A first run's start-up work (the first look at the permissions, the keyring) is over by then.
constexpr int kFirstRunSettleMs = 3000;
// Half a minute: one wake-up in it is the target's two a minute.
constexpr int kFirstRunIdleMs = 30000;
constexpr int kHistoryEntries = 2000;
// A history file ten times over the cap: left by an older version, edited by hand, synced in.
constexpr int kOverCapEntries = 20000;

QString programDir()
{
    return QCoreApplication::applicationDirPath();
}

QString bare()
{
    return programDir() + QStringLiteral("/murmo_bare_window");
}

// Seconds until each window is shown, the best of the rounds for each, alternating so both see
// the same machine; homeFor(round) gives each round's home. Nothing when a window never came up.
struct StartTimes
{
    double ours = 1e300;
    double baseline = 1e300;
    // The bare window set in the main window's sizes of type.
    double typeset = 1e300;
    // Murmo's time over the bare window's in the same type, the median of the rounds' own ratios:
    // each round's three starts see the same machine, and one slow round does not move it.
    double oursOverTypeset = 0;
};

std::optional<StartTimes> bestStartTimes(const std::function<const MurmoHome&(int round)>& homeFor)
{
    const X11Windows windows;
    StartTimes best;
    std::vector<double> oursOverTypeset;
    for (int round = 0; round < kStartRounds; ++round) {
        const QProcessEnvironment environment = homeFor(round).environment();
        // What a start leaves behind (the server tidying up after the last window, a service
        // still answering it) falls on the next one: each round starts the three in an order of
        // its own, so that none always follows the same one.
        const std::array<std::function<std::optional<double>()>, 3> starts{
            [&] { return Launch(bare(), QStringLiteral("bare"), environment).secondsToMapped(windows); },
            [&] { return Launch(murmoProgram(), QStringLiteral("Murmo"), environment).secondsToMapped(windows); },
            [&] {
                return Launch(bare(), QStringLiteral("bare"), environment, {QStringLiteral("--typeset")})
                    .secondsToMapped(windows);
            }};
        std::array<std::optional<double>, 3> seconds;
        for (std::size_t k = 0; k < starts.size(); ++k) {
            const std::size_t which = (std::size_t(round) + k) % starts.size();
            seconds[which] = starts[which]();
        }
        const auto& [b, m, t] = seconds;
        if (!b || !m || !t)
            return std::nullopt;
        best.baseline = std::min(best.baseline, *b);
        best.ours = std::min(best.ours, *m);
        best.typeset = std::min(best.typeset, *t);
        oursOverTypeset.push_back(*m / *t);
    }
    best.oursOverTypeset = BenchRatio::median(oursOverTypeset);
    return best;
}

// Judges the start against the bare window showing the same type: what any window of this design
// pays for its fonts is not ours to win back, everything above it is. Against the plain bare window
// the figure is shown only, for what the fonts cost.
void reportStart(benchmark::State& state, const char* which, const StartTimes& times, double target)
{
    state.SetIterationTime(times.ours);
    std::printf("%s start: murmo %.0f ms, bare %.0f ms, bare in the main window's type %.0f ms\n", which,
                times.ours * 1e3, times.baseline * 1e3, times.typeset * 1e3);
    const std::string label = std::string(which) + " start to main window (murmo / bare in same type)";
    BenchRatio::report(state, label.c_str(), times.oursOverTypeset, target);
    std::printf("%s start against the plain bare window: murmo %.2fx (no target: the fonts are in it)\n", which,
                times.ours / times.baseline);
}

// Starts after the first in one home: the first round is a first start, the best of the rounds
// and the median of their ratios a later one.
void BM_LaterStartToWindow(benchmark::State& state)
{
    const MurmoHome home;
    for (auto _ : state) {
        const std::optional<StartTimes> times = bestStartTimes([&home](int) -> const MurmoHome& { return home; });
        if (!times) {
            state.SkipWithError("a window never came up");
            return;
        }
        reportStart(state, "later", *times, 1.1);
    }
}
BENCHMARK(BM_LaterStartToWindow)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The first start on a computer: every round in a home of its own, where the one-time steps
// (migrations, lexicon seed) all run.
void BM_FirstStartToWindow(benchmark::State& state)
{
    for (auto _ : state) {
        std::optional<MurmoHome> home;
        const std::optional<StartTimes> times = bestStartTimes([&home](int) -> const MurmoHome& {
            home.emplace();
            return *home;
        });
        if (!times) {
            state.SkipWithError("a window never came up");
            return;
        }
        reportStart(state, "first", *times, 1.1);
    }
}
BENCHMARK(BM_FirstStartToWindow)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ResidentMemory(benchmark::State& state)
{
    const X11Windows windows;
    const MurmoHome home(kHistoryEntries);
    for (auto _ : state) {
        long ours = 0;
        long baseline = 0;
        for (int round = 0; round < 3; ++round) {
            Launch b(bare(), QStringLiteral("bare"), home.environment());
            Launch m(murmoProgram(), QStringLiteral("Murmo"), home.environment());
            if (!b.secondsToMapped(windows) || !m.secondsToMapped(windows)) {
                state.SkipWithError("a window never came up");
                return;
            }
            QThread::msleep(kSettleMs);
            if (!b.isRunning() || !m.isRunning()) {
                state.SkipWithError("a program ended before its memory was read");
                return;
            }
            baseline = baseline ? std::min(baseline, b.residentKiB()) : b.residentKiB();
            ours = ours ? std::min(ours, m.residentKiB()) : m.residentKiB();
        }
        state.counters["murmo_KiB"] = double(ours);
        state.counters["bare_KiB"] = double(baseline);
        std::printf("resident memory with %d entries: murmo %ld KiB, bare %ld KiB\n", kHistoryEntries, ours, baseline);
        BenchRatio::report(state, "resident memory, 2000 entries (murmo / bare Qt)", double(ours) / double(baseline),
                           2.0);
    }
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// A start over a history file of its own: seconds until the window shows and the memory held once
// start-up has settled. The home is made anew each time, as the program trims an over-long file.
struct StartCost
{
    double seconds = 0;
    long residentKiB = 0;
};

std::optional<StartCost> startOverHistory(const X11Windows& windows, int historyEntries)
{
    const MurmoHome home(historyEntries);
    Launch launch(murmoProgram(), QStringLiteral("Murmo"), home.environment());
    const std::optional<double> seconds = launch.secondsToMapped(windows);
    if (!seconds)
        return std::nullopt;
    QThread::msleep(kSettleMs);
    if (!launch.isRunning())
        return std::nullopt;
    return StartCost{*seconds, launch.residentKiB()};
}

// A file far over the cap costs the start what a full history does: the window's time and the
// memory held with 20,000 entries in the file, next to 2,000. Best of the rounds, alternating.
void BM_OverCapHistory(benchmark::State& state)
{
    const X11Windows windows;
    for (auto _ : state) {
        StartCost full{1e300, 0};
        StartCost overCap{1e300, 0};
        for (int round = 0; round < kRounds; ++round) {
            const std::optional<StartCost> f = startOverHistory(windows, kHistoryEntries);
            const std::optional<StartCost> o = startOverHistory(windows, kOverCapEntries);
            if (!f || !o) {
                state.SkipWithError("a window never came up, or murmo ended before its memory was read");
                return;
            }
            full = {std::min(full.seconds, f->seconds),
                    full.residentKiB ? std::min(full.residentKiB, f->residentKiB) : f->residentKiB};
            overCap = {std::min(overCap.seconds, o->seconds),
                       overCap.residentKiB ? std::min(overCap.residentKiB, o->residentKiB) : o->residentKiB};
        }
        state.SetIterationTime(overCap.seconds);
        std::printf("history of %d vs %d entries: window %.0f vs %.0f ms, memory %ld vs %ld KiB\n", kOverCapEntries,
                    kHistoryEntries, overCap.seconds * 1e3, full.seconds * 1e3, overCap.residentKiB, full.residentKiB);
        BenchRatio::report(state, "window, 20000 vs 2000 entries in the file", overCap.seconds / full.seconds, 1.2);
        BenchRatio::report(state, "resident memory, 20000 vs 2000 entries in the file",
                           double(overCap.residentKiB) / double(full.residentKiB), 1.2);
    }
}
BENCHMARK(BM_OverCapHistory)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The accessibility switch is the desktop bus's, not the home's.
void setAccessibilityBus(bool on)
{
    QProcess set;
    set.setStandardOutputFile(QProcess::nullDevice());
    set.start(QStringLiteral("dbus-send"),
              {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=org.a11y.Bus"),
               QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties.Set"),
               QStringLiteral("string:org.a11y.Status"), QStringLiteral("string:IsEnabled"),
               on ? QStringLiteral("variant:boolean:true") : QStringLiteral("variant:boolean:false")});
    set.waitForFinished(5000);
}

void BM_IdleCpu(benchmark::State& state)
{
    const X11Windows windows;
    const MurmoHome home;
    // Idle as a user with every permission in place.
    setAccessibilityBus(true);
    for (auto _ : state) {
        Launch b(bare(), QStringLiteral("bare"), home.environment());
        Launch m(murmoProgram(), QStringLiteral("Murmo"), home.environment());
        if (!b.secondsToMapped(windows) || !m.secondsToMapped(windows)) {
            state.SkipWithError("a window never came up");
            return;
        }
        QThread::msleep(kSettleMs);
        const Launch::ThreadTimes ours0 = m.threadCpuNanoseconds();
        const Launch::ThreadTimes baseline0 = b.threadCpuNanoseconds();
        const long oursWakes0 = m.mainThreadSwitches();
        const long baselineWakes0 = b.mainThreadSwitches();
        QThread::msleep(kIdleWindowMs);
        const double perMinute = 60000.0 / kIdleWindowMs;
        const double oursWakes = double(m.mainThreadSwitches() - oursWakes0) * perMinute;
        const double baselineWakes = double(b.mainThreadSwitches() - baselineWakes0) * perMinute;
        const double ours = double(m.cpuNanosecondsSince(ours0)) / (kIdleWindowMs * 1e6) * 100.0;
        const double baseline = double(b.cpuNanosecondsSince(baseline0)) / (kIdleWindowMs * 1e6) * 100.0;
        state.counters["murmo_percent"] = ours;
        state.counters["bare_percent"] = baseline;
        std::printf("idle over %d s: murmo %.4f%% of one core, bare %.4f%% (target under 0.1%%) %s\n",
                    kIdleWindowMs / 1000, ours, baseline, ours < 0.1 ? "ok" : "OVER TARGET");
        state.counters["murmo_wakeups_per_min"] = oursWakes;
        state.counters["bare_wakeups_per_min"] = baselineWakes;
        std::printf("idle main-thread wake-ups: murmo %.1f a minute, bare %.1f (target at most 2) %s\n", oursWakes,
                    baselineWakes, oursWakes <= 2.0 ? "ok" : "OVER TARGET");
    }
}
BENCHMARK(BM_IdleCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

// What a new user sees until they grant accessibility: a fresh home, the first-run sheet over the
// window and the accessibility banner under it, left alone. Every thread's wake-ups count, the
// sound server's, the bus's and the hotkeys' included; a pool thread that retires in the window
// is not counted, as it does not come back. The bare window is shown beside it for what any Qt
// window costs on this desktop.
void BM_IdleFirstRun(benchmark::State& state)
{
    const X11Windows windows;
    const MurmoHome home(0, false);
    setAccessibilityBus(false);
    for (auto _ : state) {
        Launch b(bare(), QStringLiteral("bare"), home.environment());
        Launch m(murmoProgram(), QStringLiteral("Murmo"), home.environment());
        if (!b.secondsToMapped(windows) || !m.secondsToMapped(windows)) {
            state.SkipWithError("a window never came up");
            break;
        }
        QThread::msleep(kFirstRunSettleMs);
        const Launch::ThreadCounts ours0 = m.threadSwitches();
        const Launch::ThreadCounts baseline0 = b.threadSwitches();
        QThread::msleep(kFirstRunIdleMs);
        if (!b.isRunning() || !m.isRunning()) {
            state.SkipWithError("a program ended while idle");
            break;
        }
        const double perMinute = 60000.0 / kFirstRunIdleMs;
        const double ours = double(m.wakeUpsSince(ours0)) * perMinute;
        const double baseline = double(b.wakeUpsSince(baseline0)) * perMinute;
        state.counters["murmo_wakeups_per_min"] = ours;
        state.counters["bare_wakeups_per_min"] = baseline;
        std::printf("idle first run (sheet and accessibility banner showing), every thread, over %d s: murmo %.1f "
                    "wake-ups a minute, bare %.1f (target at most 2) %s\n",
                    kFirstRunIdleMs / 1000, ours, baseline, ours <= 2.0 ? "ok" : "OVER TARGET");
    }
    setAccessibilityBus(true);
}
BENCHMARK(BM_IdleFirstRun)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runDesktopBenchmarks<QCoreApplication>(argc, argv, "bench_launch", {"DISPLAY"});
}

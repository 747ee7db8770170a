// What a large lexicon costs the start of the real murmo program, next to the same start without
// one, all in the same run: the time until the main window shows, the longest time its main
// thread keeps away from its event loop in the first seconds (while the lexicon loads and the
// start-up sync fetches and pushes it through a gateway on loopback), and the memory it holds
// afterwards, against the size of the file. The main thread's holds are seen from outside: the
// system call it is blocked in, read again and again, says when it waits in its event loop.
// Needs a desktop with a window manager (scripts/with-desktop); without a display it says so and
// succeeds.

#include "bench/BenchRatio.h"
#include "bench/DesktopBenchMain.h"
#include "bench/LaunchedProgram.h"
#include "core/store/LexiconSnapshot.h"
#include "core/store/LexiconSync.h"
#include "tests/support/FakeServices.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

namespace {

// A start is tens of milliseconds and a busy machine moves single starts by more than the 10 % a
// window is judged by: its ratio is the median of this many rounds' own ratios.
constexpr int kWindowRounds = 21;
constexpr int kHoldRounds = 3;
// The first seconds after the program was started, in which its holds are looked for.
constexpr int kWatchedMs = 5000;
// After the watched seconds, the lexicon's work is let finish before memory is read.
constexpr int kSettleMs = 2000;

// Three Han characters told apart by n: with them a Chinese wrong stays within the six characters
// the lexicon keeps such a rule for.
QString hanSuffix(int n)
{
    QString suffix;
    for (int k = 0; k < 3; ++k, n /= 64)
        suffix.append(QChar(0x4E00 + n % 64));
    return suffix;
}

// A lexicon of the given size, as years of use leave it: rules with Latin and Chinese wrongs that
// the program keeps, and extra hotwords.
QByteArray lexiconFile(int rules, int hotwords)
{
    LexiconSnapshot snapshot;
    for (int i = 0; i < rules; ++i) {
        if (i % 2 == 0)
            snapshot.rules.append(LearnedRule::make(QStringLiteral("kubernet%1s").arg(i),
                                                    QStringLiteral("Kubernetes%1").arg(i),
                                                    QStringLiteral("manual_edit")));
        else
            snapshot.rules.append(LearnedRule::make(QStringLiteral("测式用") + hanSuffix(i),
                                                    QStringLiteral("测试用") + hanSuffix(i),
                                                    QStringLiteral("user_added")));
    }
    for (int i = 0; i < hotwords; ++i)
        snapshot.hotwords.append(i % 2 == 0 ? QStringLiteral("term%1").arg(i) : QStringLiteral("热词%1").arg(i));
    return snapshot.encode();
}

// Written once to a file of its own, which every start's home links in: no start comes right after
// tens of megabytes of writing.
QString savedIn(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return file.fileName();
}

struct Lexicons
{
    QByteArray none;
    QByteArray large = lexiconFile(30000, 0);
    QByteArray huge = lexiconFile(100000, 1000000);
    QTemporaryDir dir;
    QString largePath = savedIn(dir, QStringLiteral("large.json"), large);
    QString hugePath = savedIn(dir, QStringLiteral("huge.json"), huge);
};

// Watches the program's main thread from a thread of this process until the watched seconds are
// over, keeping the longest stretch it spent away from its event loop. What it spent in a stretch
// waiting for a processor is left out: that is the machine's load, not the program's doing.
class HoldWatch
{
public:
    explicit HoldWatch(const Launch& launch)
        : m_thread([this, &launch] {
            struct Away
            {
                std::chrono::steady_clock::time_point since;
                qint64 runDelayNs = 0;
            };
            std::optional<Away> away;
            while (launch.elapsedMs() < kWatchedMs) {
                const auto now = std::chrono::steady_clock::now();
                const std::optional<bool> awaits = launch.mainThreadAwaitsEvents();
                if (!awaits) {
                    m_unreadable = true;
                } else if (*awaits) {
                    away.reset();
                } else if (!away) {
                    away = Away{now, launch.mainThreadRunDelayNs()};
                } else {
                    const double waitedMs = double(launch.mainThreadRunDelayNs() - away->runDelayNs) / 1e6;
                    const double heldMs = std::chrono::duration<double, std::milli>(now - away->since).count();
                    m_longestMs = std::max(m_longestMs.load(), heldMs - waitedMs);
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            m_done = true;
        })
    {}
    ~HoldWatch() { m_thread.join(); }

    bool isDone() const { return m_done; }
    // Nothing when the main thread's state could not be read.
    std::optional<double> longestMs() const { return m_unreadable ? std::nullopt : std::optional<double>(m_longestMs); }

private:
    std::atomic<double> m_longestMs = 0;
    std::atomic_bool m_unreadable = false;
    std::atomic_bool m_done = false;
    std::thread m_thread;
};

// One start over a lexicon file.
struct Start
{
    double windowMs = 1e300;
    double holdMs = 1e300;
    long residentKiB = 0;
    // The most it held at any time, the load's passing buffers included.
    long peakKiB = 0;
};

MurmoHome homeWith(const QByteArray& lexicon)
{
    MurmoHome home;
    if (!lexicon.isEmpty())
        home.writeData(QStringLiteral("lexicon.json"), lexicon);
    return home;
}

// The time until the window shows over the lexicon file at path (none when empty), services out
// of reach, as bench_launch measures it.
std::optional<double> windowMs(const X11Windows& windows, const QString& path)
{
    MurmoHome home;
    if (!path.isEmpty())
        home.linkData(QStringLiteral("lexicon.json"), path);
    Launch launch(murmoProgram(), QStringLiteral("Murmo"), home.environment());
    const std::optional<double> seconds = launch.secondsToMapped(windows);
    return seconds ? std::optional<double>(*seconds * 1e3) : std::nullopt;
}

// Milliseconds until the window shows, every round starting once over each lexicon.
struct WindowTimes
{
    std::vector<double> none;
    std::vector<double> large;
    std::vector<double> huge;
};

// Each round starts the three in an order of its own, so that no lexicon always follows the same
// one; a round's three starts see the same machine.
std::optional<WindowTimes> windowTimes(const X11Windows& windows, const Lexicons& files)
{
    WindowTimes times;
    const std::array<std::pair<QString, std::vector<double>*>, 3> starts{
        {{QString(), &times.none}, {files.largePath, &times.large}, {files.hugePath, &times.huge}}};
    for (int round = 0; round < kWindowRounds; ++round) {
        for (std::size_t k = 0; k < starts.size(); ++k) {
            const auto& [file, into] = starts[(round + k) % starts.size()];
            const std::optional<double> ms = windowMs(windows, file);
            if (!ms)
                return std::nullopt;
            into->push_back(*ms);
        }
    }
    return times;
}

// The median of the rounds' own ratios: one slow round on a busy machine does not move it.
double medianRatio(const std::vector<double>& ours, const std::vector<double>& baseline)
{
    std::vector<double> ratios;
    for (std::size_t round = 0; round < ours.size(); ++round)
        ratios.push_back(ours[round] / baseline[round]);
    return BenchRatio::median(ratios);
}

// A start with the gateway answering: it registers the device, and its sync fetches the account's
// copy (the same lexicon, as another start left it) and pushes the merged one back.
std::optional<Start> liveStart(const X11Windows& windows, FakeGateway& gateway, const QByteArray& lexicon)
{
    MurmoHome home = homeWith(lexicon);
    home.useServices(gateway.baseUrl());
    gateway.storedLexicons.clear();
    if (!lexicon.isEmpty() && lexicon.size() <= GatewayClient::lexiconCopyLimit(LexiconSync::kDefaultSyncKey))
        gateway.storedLexicons.insert(LexiconSync::kDefaultSyncKey, lexicon.toBase64());
    Launch launch(murmoProgram(), QStringLiteral("Murmo"), home.environment());
    const std::optional<double> mapped = launch.secondsToMapped(windows);
    if (!mapped)
        return std::nullopt;
    Start start;
    // A window that comes up after the watched seconds leaves nothing to watch; its wait counts.
    if (*mapped * 1e3 >= kWatchedMs) {
        start.holdMs = *mapped * 1e3;
    } else {
        const HoldWatch watch(launch);
        while (!watch.isDone()) {
            QCoreApplication::processEvents();
            QThread::usleep(500);
        }
        if (!watch.longestMs())
            return std::nullopt;
        start.holdMs = *watch.longestMs();
    }
    for (const qint64 until = launch.elapsedMs() + kSettleMs; launch.elapsedMs() < until; QThread::usleep(500))
        QCoreApplication::processEvents();
    start.residentKiB = launch.residentKiB();
    start.peakKiB = launch.peakResidentKiB();
    return start;
}

void BM_LexiconStart(benchmark::State& state)
{
    const X11Windows windows;
    const Lexicons files;
    FakeGateway gateway;
    for (auto _ : state) {
        const std::optional<WindowTimes> times = windowTimes(windows, files);
        if (!times) {
            state.SkipWithError("a window never came up");
            return;
        }
        Start none{BenchRatio::median(times->none)};
        Start large{BenchRatio::median(times->large)};
        Start huge{BenchRatio::median(times->huge)};
        for (int round = 0; round < kHoldRounds; ++round) {
            for (auto [start, file] :
                 {std::pair{&none, &files.none}, std::pair{&large, &files.large}, std::pair{&huge, &files.huge}}) {
                const std::optional<Start> live = liveStart(windows, gateway, *file);
                if (!live) {
                    state.SkipWithError("a window never came up, or its main thread's state cannot be read");
                    return;
                }
                start->holdMs = std::min(start->holdMs, live->holdMs);
                start->residentKiB =
                    start->residentKiB ? std::min(start->residentKiB, live->residentKiB) : live->residentKiB;
                start->peakKiB = start->peakKiB ? std::min(start->peakKiB, live->peakKiB) : live->peakKiB;
            }
        }
        state.SetIterationTime(large.windowMs / 1e3);
        const double hugeFileKiB = double(files.huge.size()) / 1024;
        std::printf("window: %.0f ms without a lexicon, %.0f ms with 30,000 rules (%.1f MB), %.0f ms with 100,000 "
                    "rules and 1,000,000 hotwords (%.1f MB)\n",
                    none.windowMs, large.windowMs, files.large.size() / 1e6, huge.windowMs, files.huge.size() / 1e6);
        std::printf("longest main-thread hold in the first %d s with the gateway: %.1f / %.1f / %.1f ms\n",
                    kWatchedMs / 1000, none.holdMs, large.holdMs, huge.holdMs);
        std::printf("resident memory: %ld / %ld / %ld KiB; at its peak: %ld / %ld / %ld KiB\n", none.residentKiB,
                    large.residentKiB, huge.residentKiB, none.peakKiB, large.peakKiB, huge.peakKiB);
        BenchRatio::report(state, "window, 30,000 rules vs none", medianRatio(times->large, times->none), 1.1);
        BenchRatio::report(state, "window, 100,000 rules + 1 M hotwords vs none", medianRatio(times->huge, times->none),
                           1.2);
        // A hold against a frame: what a person sees as a window that stops answering.
        BenchRatio::report(state, "longest hold with 30,000 rules and the sync vs a 16 ms frame", large.holdMs / 16.0,
                           1.0);
        BenchRatio::report(state, "memory for 100,000 rules + 1 M hotwords vs their file",
                           double(huge.residentKiB - none.residentKiB) / hugeFileKiB, 3.0);
        // What reading the file passes through on its way, beside what the same start holds at its
        // peak without one.
        BenchRatio::report(state, "peak memory for 100,000 rules + 1 M hotwords vs their file",
                           double(huge.peakKiB - none.peakKiB) / hugeFileKiB, 4.0);
    }
}
BENCHMARK(BM_LexiconStart)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runDesktopBenchmarks<QCoreApplication>(argc, argv, "bench_lexicon_start", {"DISPLAY"});
}

// The hotkey engine sits in the path of every key the user types. Its cost per key event, with
// five bindings installed, next to the bare cost of handing an event to an empty callback.
#include "app/desktop/HotkeyEngine.h"
#include "platform/SystemClock.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace {

// Hands the events straight to the engine, as the key thread does.
class DirectSource : public KeyEventSource
{
public:
    bool start(KeyEventSink& sink) override
    {
        m_sink = &sink;
        return true;
    }
    void stop() override { m_sink = nullptr; }
    bool isRunning() const override { return m_sink != nullptr; }
    void grabsChanged() override {}
    bool send(const KeyEvent& event) { return m_sink->keyEvent(event); }

private:
    KeyEventSink* m_sink = nullptr;
};

struct Engine
{
    DirectSource source;
    SystemClock clock;
    HotkeyEngine engine{source, clock};
    int downs = 0;

    Engine()
    {
        engine.setHotkeys({
            {HotkeyUse::talk, {49, 0x80000, false}},
            {HotkeyUse::cycle, {63, 0, true}},
            {HotkeyUse::ask, {0, 0x80000, false}},
            {HotkeyUse::translate, {58, 0xC0000, true}},
            {HotkeyUse::rewrite, {15, 0x140000, false}},
        });
        QObject::connect(&engine, &HotkeyEngine::pressed, [this] { ++downs; });
        engine.start();
    }
};

// Typing: a letter that no binding uses, pressed and released.
const KeyEvent typedPress{17, true, false, 0};
const KeyEvent typedRelease{17, false, false, 0};
// The talk hotkey Alt+Space, pressed and released (swallowed, its callbacks run).
const KeyEvent hotkeyPress{49, true, false, 0x80000};
const KeyEvent hotkeyRelease{49, false, false, 0x80000};

void emptyDispatch(benchmark::State& state)
{
    std::function<bool(const KeyEvent&)> callback = [](const KeyEvent& event) { return event.isPress; };
    for (auto _ : state) {
        benchmark::DoNotOptimize(callback(typedPress));
        benchmark::DoNotOptimize(callback(typedRelease));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void engineTypedKey(benchmark::State& state)
{
    Engine rig;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.source.send(typedPress));
        benchmark::DoNotOptimize(rig.source.send(typedRelease));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void engineHotkey(benchmark::State& state)
{
    Engine rig;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.source.send(hotkeyPress));
        benchmark::DoNotOptimize(rig.source.send(hotkeyRelease));
    }
    state.SetItemsProcessed(state.iterations() * 2);
    if (rig.downs == 0)
        state.SkipWithError("the hotkey never matched");
}

BENCHMARK(emptyDispatch);
BENCHMARK(engineTypedKey);
BENCHMARK(engineHotkey);

// Keeps each run's time per event so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> nanosecondsPerEvent;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.iterations > 0)
                nanosecondsPerEvent[run.benchmark_name()] = run.GetAdjustedRealTime() / 2.0 *
                                                            (run.time_unit == benchmark::kMicrosecond   ? 1e3
                                                             : run.time_unit == benchmark::kMillisecond ? 1e6
                                                                                                        : 1);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto& times = reporter.nanosecondsPerEvent;
    if (times.contains("emptyDispatch")) {
        const double baseline = times.at("emptyDispatch");
        for (const char* name : {"engineTypedKey", "engineHotkey"}) {
            if (times.contains(name))
                std::printf("%s: %.1f ns per key event, %.1f x an empty callback dispatch (%.2f ns)\n", name,
                            times.at(name), times.at(name) / baseline, baseline);
        }
    }
    return 0;
}

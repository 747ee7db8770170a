// What the user waits for when the main window opens on a long history and is scrolled from the
// newest entry to the oldest and back: with 2,000 entries (the most the history keeps) it must
// stay within twice the cost of the same with 20 entries, i.e. the list builds and measures only
// the cards in view, never the whole history. And what a click on a filter capsule holds the
// main thread for: with 2,000 entries within twice the cost with 200, and at most a frame.

#include "BenchApplication.h"
#include "BenchRatio.h"
#include "app/controller/AppState.h"
#include "app/controller/HistoryEntryActions.h"
#include "app/controller/Settings.h"
#include "app/desktop/PermissionsModel.h"
#include "app/feedback/AudioPreview.h"
#include "app/shell/HistoryListView.h"
#include "app/shell/HistoryWindow.h"
#include "app/ui/Theme.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "platform/PermissionProbes.h"
#include "platform/ProcessLauncher.h"
#include "platform/SoundOutput.h"
#include "platform/SystemClock.h"

#include "app/shell/FilterPill.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <memory>

namespace {

class GrantedProbes : public PermissionProbes
{
public:
    bool microphoneAvailable() override { return true; }
    bool accessibilityAvailable() override { return true; }
    void enableAccessibility() override {}
};

class NoLauncher : public ProcessLauncher
{
public:
    bool startDetached(const QString&, const QStringList&) override { return false; }
    QString findExecutable(const QString&) const override { return {}; }
    QFuture<bool> openUrl(const QUrl&) override { return QtFuture::makeReadyFuture(false); }
};

class SilentOutput : public SoundOutput
{
public:
    std::unique_ptr<Sound> makeSound(const QByteArray&) override { return nullptr; }
};

class NoActions : public HistoryEntryActions
{
public:
    void retranscribe(const HistoryEntry&) override {}
    void correctHistory(const HistoryEntry&, const QString&) override {}
};

// A data directory holding a history of the given length, written in one go.
struct History
{
    QTemporaryDir dir;
    std::unique_ptr<HistoryStore> store;

    explicit History(int entries)
    {
        QList<HistoryEntry> list;
        const QStringList actions{"dictate", "translate", "ask", "rewrite"};
        for (int i = 0; i < entries; ++i) {
            HistoryEntry entry =
                HistoryEntry::make(QStringLiteral("嗯 第 %1 条 那个原话").arg(i),
                                   QStringLiteral("第 %1 条：明天上午十点和设计组过一遍新版首页，记得带上访谈记录。")
                                       .arg(i)
                                       .repeated(1 + i % 3),
                                   QStringLiteral("formal"), QStringLiteral("qwen"), actions.at(i % 4));
            list.append(entry);
        }
        QFile file(dir.path() + QStringLiteral("/history.json"));
        if (file.open(QIODevice::WriteOnly))
            file.write(HistoryEntry::encodeList(list));
        file.close();
        store = std::make_unique<HistoryStore>(dir.path());
        store->flush();
    }
};

// Everything the window needs besides the history, shared by both runs.
struct Services
{
    QTemporaryDir config;
    Settings settings{config.path() + QStringLiteral("/Murmo.conf"), nullptr};
    AppState state{settings};
    GrantedProbes probes;
    SystemClock clock;
    PermissionsModel permissions{probes};
    NoLauncher launcher;
    SilentOutput output;
    AudioPreview audio{output};
    NoActions actions;
};

void openAndScroll(Services& services, History& history, Lexicon& lexicon)
{
    HistoryView::Parts parts{services.state,       services.settings, *history.store,         lexicon,
                             services.permissions, services.probes,   services.launcher,      services.audio,
                             services.actions,     services.clock,    FileReveal::Function(), [] { return false; },
                             std::nullopt,         QString()};
    HistoryWindow window(std::move(parts), true);
    window.show();
    QApplication::processEvents();
    QScrollBar* bar = window.view()->list()->verticalScrollBar();
    // To the oldest entry, a page back, and home again.
    bar->setValue(bar->maximum());
    bar->setValue(bar->value() - bar->pageStep());
    bar->setValue(bar->maximum());
    bar->setValue(0);
    QApplication::processEvents();
}

void BM_OpenAndScroll(benchmark::State& state)
{
    benchApplication();
    Theme::setPalette(ThemePalette::xuan());
    Services services;
    History longHistory(2000);
    History shortHistory(20);
    Lexicon lexicon(longHistory.dir.path());
    for (auto _ : state)
        openAndScroll(services, longHistory, lexicon);
    BenchRatio::compare(
        state, "history window: open + scroll, 2000 vs 20 entries",
        [&] { openAndScroll(services, longHistory, lexicon); }, [&] { openAndScroll(services, shortHistory, lexicon); },
        2.0);
}
BENCHMARK(BM_OpenAndScroll)->Unit(benchmark::kMillisecond);

// The main window open on a history, its cards measured once, as after the user has looked
// through each filter.
struct OpenWindow
{
    OpenWindow(Services& services, History& history, Lexicon& lexicon)
        : window(HistoryView::Parts{services.state, services.settings, *history.store, lexicon, services.permissions,
                                    services.probes, services.launcher, services.audio, services.actions,
                                    services.clock, FileReveal::Function(), [] { return false; }, std::nullopt,
                                    QString()},
                 true)
    {
        window.show();
        QApplication::processEvents();
        clickThrough();
    }

    // Clicks every capsule in turn and back to "all"; returns the longest click in milliseconds,
    // the events it posted handled.
    double clickThrough()
    {
        const QList<std::optional<QString>> actions{QStringLiteral("dictate"), QStringLiteral("translate"),
                                                    QStringLiteral("ask"), QStringLiteral("rewrite"), std::nullopt};
        double longest = 0;
        for (const std::optional<QString>& action : actions) {
            QElapsedTimer timer;
            timer.start();
            window.view()->pill(action)->click();
            QApplication::processEvents();
            longest = std::max(longest, double(timer.nsecsElapsed()) / 1e6);
        }
        return longest;
    }

    HistoryWindow window;
};

void BM_FilterClicks(benchmark::State& state)
{
    benchApplication();
    Theme::setPalette(ThemePalette::xuan());
    Services services;
    History longHistory(2000);
    History shortHistory(200);
    Lexicon lexicon(longHistory.dir.path());
    OpenWindow longWindow(services, longHistory, lexicon);
    OpenWindow shortWindow(services, shortHistory, lexicon);
    std::vector<double> longest;
    for (auto _ : state)
        longest.push_back(longWindow.clickThrough());
    std::sort(longest.begin(), longest.end());
    const double medianMs = longest.empty() ? 0 : longest[longest.size() / 2];
    state.counters["longest_click_ms"] = medianMs;
    std::printf("SPLIT longest filter click, 2000 entries: %.2f ms (target 16 ms) %s\n", medianMs,
                medianMs <= 16 ? "ok" : "OVER TARGET");
    BenchRatio::compare(
        state, "filter clicks, 2000 vs 200 entries", [&] { longWindow.clickThrough(); },
        [&] { shortWindow.clickThrough(); }, 2.0);
}
BENCHMARK(BM_FilterClicks)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

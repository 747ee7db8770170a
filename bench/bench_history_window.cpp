// What the user waits for when the main window opens on a long history and is scrolled from the
// newest entry to the oldest and back: with 2,000 entries (the most the history keeps) it must
// stay within twice the cost of the same with 20 entries, i.e. the list builds and measures only
// the cards in view, never the whole history.

#include "BenchApplication.h"
#include "BenchRatio.h"
#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/desktop/PermissionsModel.h"
#include "app/feedback/AudioPreview.h"
#include "app/controller/HistoryEntryActions.h"
#include "app/shell/HistoryListView.h"
#include "app/shell/HistoryWindow.h"
#include "app/ui/Theme.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "platform/PermissionProbes.h"
#include "platform/ProcessLauncher.h"
#include "platform/SoundOutput.h"
#include "platform/SystemClock.h"

#include <QApplication>
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
    PermissionsModel permissions{probes, clock};
    NoLauncher launcher;
    SilentOutput output;
    AudioPreview audio{output};
    NoActions actions;
};

void openAndScroll(Services& services, History& history, Lexicon& lexicon)
{
    HistoryView::Parts parts{
        services.state,       *history.store, lexicon,          services.permissions, services.probes,
        services.launcher,    services.audio, services.actions, services.clock,       [](const QString&) {},
        [] { return false; }, std::nullopt,   QString()};
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

} // namespace

// What the user waits for in the lexicon tab of the settings window, shown as a window of the
// headless desktop and painting there: removing one rule, and a 3,000-line word list landing in the
// list, with 300 and with 3,000 rules stored, each until the tab shows it. The tab must follow a
// change by moving the rows that changed, so the cost of a remove grows no faster than the store's
// own save (3,000 rules at most 12 times 300). The GUI thread's longest hold from a click until the
// tab has drawn its result (the click, then each turn of the event loop, the X server's replies
// and the painter's threads included) must fit in a frame (16 ms): for a remove among 3,000 rules,
// and at 100,000 rules for a rule added with the fields and one removed with its trash can, each
// right after another change, at the median and in 9 clicks of 10, beside the same clicks at 300
// rules in the same run. The store saves and the tab builds its rows on workers, so what the GUI
// thread does is taking the click and applying the rows that changed.

#include "BenchRatio.h"
#include "DesktopBenchMain.h"
#include "MainThreadHolds.h"
#include "PaintCounter.h"
#include "app/controller/AppState.h"
#include "app/controller/Settings.h"
#include "app/settings/SettingsWindow.h"
#include "app/settings/editors/LexiconEditor.h"
#include "app/settings/editors/RemovableRowsView.h"
#include "app/ui/Theme.h"
#include "core/store/Lexicon.h"
#include "tests/app/settings/SettingsFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

QString ruleLines(int count, const QString& prefix)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("%1word%2x -> %1Word%2\n").arg(prefix).arg(i);
    return text;
}

// A click in the tab, until the tab has drawn what it changed.
struct Click
{
    // The longest the GUI thread was held at a time: by the click or by one turn of the loop, and
    // its own CPU time in that hold.
    double holdMs = 0;
    double holdCpuMs = 0;
    // The click's own call: the store's change and what the tab does at once.
    double callMs = 0;
    double shownMs = 0;
};

// The settings window on its lexicon tab, open on a lexicon of the given size, as a window of the
// desktop.
struct OpenTab
{
    SettingsFixture fixture;
    AppState& state = fixture.state();
    Lexicon& lexicon = *fixture.fake.app->lexicon();
    LexiconEditor* editor = nullptr;
    std::unique_ptr<PaintCounter> paints;

    explicit OpenTab(int rules, int hotwords = 0)
    {
        lexicon.importText(ruleLines(rules, QStringLiteral("old")));
        if (hotwords > 0) {
            QStringList words;
            words.reserve(hotwords);
            for (int i = 0; i < hotwords; ++i)
                words.append(QStringLiteral("Hot%1").arg(i));
            lexicon.addHotwords(words);
        }
        fixture.editors.lexicon = [this](QWidget* parent) {
            return editor = new LexiconEditor(state, lexicon, parent);
        };
        SettingsWindow& window = fixture.open();
        fixture.showTab(QStringLiteral("词库"));
        paints = std::make_unique<PaintCounter>(&window);
        MainThreadHolds().turnUntil([&window] { return window.windowHandle() && window.windowHandle()->isExposed(); },
                                    std::chrono::seconds(20));
        waitForRows(lexicon.ruleCount());
        lexicon.flush();
    }

    qsizetype rowCount() const { return editor->list()->rows().rowCount(); }

    // Turns the event loop until the tab shows count rows and the list has painted them.
    Click waitForRows(qsizetype count, Click click = {})
    {
        const auto start = std::chrono::steady_clock::now();
        MainThreadHolds holds;
        holds.longestMs = click.holdMs;
        holds.longestCpuMs = click.holdCpuMs;
        // The paints before the turn that lands the rows, which may also draw them.
        int painted = paints->paints();
        holds.turnUntil(
            [&] {
                if (rowCount() == count)
                    return true;
                painted = paints->paints();
                return false;
            },
            std::chrono::seconds(60));
        holds.turnUntil([&] { return paints->paints() > painted; }, std::chrono::seconds(5));
        click.holdMs = holds.longestMs;
        click.holdCpuMs = holds.longestCpuMs;
        click.shownMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return click;
    }

    Click clickUntilRows(const std::function<void()>& click, qsizetype count)
    {
        MainThreadHolds holds;
        holds.hold(click);
        Click done{holds.longestMs, holds.longestCpuMs, holds.longestMs, holds.longestMs};
        return waitForRows(count, done);
    }

    // A rule the list shows, removed as its trash can does.
    Click removeOne()
    {
        RemovableRowsView& list = *editor->list();
        const QModelIndex shown = list.indexAt(list.viewport()->rect().center());
        const qsizetype row = shown.isValid() ? shown.row() : rowCount() / 2;
        const QString key = list.rows().rows().at(row).key;
        return clickUntilRows([&] { Q_EMIT editor->list()->removeRequested(key); }, rowCount() - 1);
    }

    // Back to the size it had, as another change the tab follows.
    void restore()
    {
        lexicon.addRule(QStringLiteral("spare%1").arg(++m_spares), QStringLiteral("Spare"),
                        QStringLiteral("user_added"));
        state.bumpHistoryVersion();
        waitForRows(rowCount() + 1);
    }

    void removeAndRestore()
    {
        removeOne();
        restore();
    }

    // A rule typed into the fields and added with the button.
    Click addOne()
    {
        editor->findChild<QLineEdit*>(QStringLiteral("wrong"))->setText(QStringLiteral("typed%1x").arg(++m_spares));
        editor->findChild<QLineEdit*>(QStringLiteral("right"))->setText(QStringLiteral("Typed"));
        return clickUntilRows([&] { editor->findChild<QPushButton*>(QStringLiteral("add"))->click(); }, rowCount() + 1);
    }

private:
    int m_spares = 0;
};

// Seconds from a 3,000-line import (the worker's part included) until a tab of the given size
// has drawn it, as the import button finishes it.
double importSeconds(int rules)
{
    OpenTab tab(rules);
    const auto start = std::chrono::steady_clock::now();
    tab.lexicon.importText(ruleLines(3000, QStringLiteral("new")));
    tab.state.bumpHistoryVersion();
    tab.waitForRows(tab.lexicon.ruleCount());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double bestImportSeconds(int rules)
{
    double best = 1e300;
    for (int round = 0; round < 5; ++round)
        best = std::min(best, importSeconds(rules));
    return best;
}

void BM_RemoveOneRule(benchmark::State& state)
{
    Theme::setPalette(ThemePalette::xuan());
    const int rules = int(state.range(0));
    OpenTab tab(rules);
    for (auto _ : state) {
        tab.removeOne();
        state.PauseTiming();
        tab.restore();
        state.ResumeTiming();
    }
    if (rules != 3000)
        return;
    OpenTab small(300);
    BenchRatio::compare(
        state, "lexicon tab: remove one rule, 3,000 vs 300 rules", [&] { tab.removeAndRestore(); },
        [&] { small.removeAndRestore(); }, 12.0);
    // The remove alone against a frame of the GUI thread, once.
    static bool reported = false;
    if (reported)
        return;
    reported = true;
    double best = 1e300;
    for (int round = 0; round < 7; ++round) {
        best = std::min(best, tab.removeOne().holdMs);
        tab.restore();
    }
    BenchRatio::report(state, "lexicon tab: remove at 3,000 rules / 16 ms frame", best / 16.0, 1.0);
}
BENCHMARK(BM_RemoveOneRule)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond);

constexpr double kFrameMs = 16.0;

struct Clicks
{
    std::vector<double> holds;
    std::vector<double> cpus;
    std::vector<double> calls;
    std::vector<double> shown;

    void add(const Click& click)
    {
        holds.push_back(click.holdMs);
        cpus.push_back(click.holdCpuMs);
        calls.push_back(click.callMs);
        shown.push_back(click.shownMs);
    }
    double median() const { return BenchRatio::median(holds); }
    double longest() const { return *std::max_element(holds.cbegin(), holds.cend()); }
    qsizetype over() const
    {
        return std::count_if(holds.cbegin(), holds.cend(), [](double ms) { return ms > kFrameMs; });
    }
    // The median and 9 clicks of 10 within a frame.
    bool ok() const { return median() <= kFrameMs && over() * 10 <= qsizetype(holds.size()); }
};

void printClicks(const char* what, const Clicks& many, const Clicks& few)
{
    std::printf("LEXICON TAB %s on the desktop, the GUI thread's longest hold per click (%zu clicks): 100,000 rules "
                "median %.2f ms, longest %.2f ms, %lld over 16 ms; 300 rules median %.2f ms, longest %.2f ms "
                "(target 16 ms, median and 9 of 10) %s\n",
                what, many.holds.size(), many.median(), many.longest(), static_cast<long long>(many.over()),
                few.median(), few.longest(), many.ok() ? "ok" : "OVER TARGET");
    std::printf("SPLIT lexicon tab %s at 100,000 rules: the click's call %.2f ms, the GUI thread's CPU in the longest "
                "hold %.2f ms (the rest waits), rows drawn %.1f ms after the click (longest %.1f ms); 300 rules: "
                "call %.2f ms, CPU %.2f ms, drawn after %.1f ms\n",
                what, BenchRatio::median(many.calls), BenchRatio::median(many.cpus), BenchRatio::median(many.shown),
                *std::max_element(many.shown.cbegin(), many.shown.cend()), BenchRatio::median(few.calls),
                BenchRatio::median(few.cpus), BenchRatio::median(few.shown));
}

void BM_AddAndRemoveAmongManyRules(benchmark::State& state)
{
    Theme::setPalette(ThemePalette::xuan());
    OpenTab few(300);
    // The large lexicon of a long-time user: its saves, which every click starts, write the hot words too.
    OpenTab many(100000, 1000000);
    Clicks adds;
    Clicks removes;
    Clicks fewAdds;
    Clicks fewRemoves;
    for (auto _ : state) {
        // Each pair of the few rules' tab right beside the many's, so both see the same machine.
        fewAdds.add(few.addOne());
        fewRemoves.add(few.removeOne());
        adds.add(many.addOne());
        removes.add(many.removeOne());
    }
    many.lexicon.flush();
    few.lexicon.flush();
    state.counters["add_ms"] = adds.median();
    state.counters["remove_ms"] = removes.median();
    printClicks("add", adds, fewAdds);
    printClicks("remove", removes, fewRemoves);
}
BENCHMARK(BM_AddAndRemoveAmongManyRules)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ImportThreeThousandLines(benchmark::State& state)
{
    Theme::setPalette(ThemePalette::xuan());
    const int rules = int(state.range(0));
    for (auto _ : state)
        state.SetIterationTime(importSeconds(rules));
    static bool reported = false;
    if (rules != 3000 || reported)
        return;
    reported = true;
    BenchRatio::report(state, "lexicon tab: import 3,000 lines, 3,000 vs 300 rules",
                       bestImportSeconds(3000) / bestImportSeconds(300), 12.0);
}
BENCHMARK(BM_ImportThreeThousandLines)->Arg(300)->Arg(3000)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runDesktopBenchmarks<QApplication>(argc, argv, "bench_lexicon_editor", {"DISPLAY"});
}

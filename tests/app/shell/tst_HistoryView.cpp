#include "app/shell/EmptyTeachingState.h"
#include "app/shell/EntryAction.h"
#include "app/shell/FilterPill.h"
#include "app/shell/FnKeyConflictBanner.h"
#include "app/shell/HistoryListView.h"
#include "app/shell/HistoryStatusBar.h"
#include "app/shell/OnboardingView.h"
#include "app/shell/PermissionRow.h"
#include "app/shell/ShellBanner.h"
#include "app/ui/CapsuleButton.h"
#include "app/ui/ModeCapsulePicker.h"
#include "app/ui/Theme.h"
#include "core/text/StyleMode.h"
#include "tests/app/shell/ViewRig.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <thread>

namespace {

const Hotkey altSpace{49, 0x80000, false};

} // namespace

class TestHistoryView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
    }

    void pillsCountTheWholeHistory()
    {
        ViewRig rig;
        rig.open();
        HistoryView& view = rig.view();
        // Empty: the teaching hint under "全部", which shows no count.
        QCOMPARE(view.currentPage(), view.emptyState());
        QCOMPARE(view.pill(std::nullopt)->countText(), QString());
        QVERIFY(view.pill(std::nullopt)->selected());

        rig.history.add(QStringLiteral("一"));
        rig.history.add(QStringLiteral("二"), HistoryEntry::kDictate);
        rig.history.add(QStringLiteral("三"), HistoryEntry::kTranslate);
        rig.history.add(QStringLiteral("四"), QStringLiteral("summarise"));
        rig.historyChanged();
        QCOMPARE(view.currentPage(), view.list());
        QCOMPARE(view.pill(std::nullopt)->countText(), QStringLiteral("4"));
        QCOMPARE(view.pill(HistoryEntry::kDictate)->countText(), QStringLiteral("2"));
        QCOMPARE(view.pill(HistoryEntry::kTranslate)->countText(), QStringLiteral("1"));
        QCOMPARE(view.pill(HistoryEntry::kAsk)->countText(), QString());

        view.pill(HistoryEntry::kAsk)->click();
        QCOMPARE(view.historyFilter(), std::optional<QString>(HistoryEntry::kAsk));
        QCOMPARE(view.currentPage(), view.noMatchLabel());
        QVERIFY(view.pill(HistoryEntry::kAsk)->selected());
        QVERIFY(!view.pill(std::nullopt)->selected());
        QCOMPARE(view.pill(HistoryEntry::kDictate)->countText(), QStringLiteral("2"));

        view.pill(HistoryEntry::kDictate)->click();
        QCOMPARE(view.model().rowCount(), 2);
        // A new dictation shows up under the chosen filter at once.
        rig.history.add(QStringLiteral("五"));
        rig.historyChanged();
        QCOMPARE(view.model().rowCount(), 3);
        QCOMPARE(view.pill(std::nullopt)->countText(), QStringLiteral("5"));
    }

    void aNewFilterStartsAtTheTop()
    {
        ViewRig rig;
        for (int i = 0; i < 40; ++i)
            rig.history.add(QStringLiteral("第 %1 条").arg(i), i % 2 ? HistoryEntry::kAsk : HistoryEntry::kDictate);
        rig.open();
        HistoryView& view = rig.view();
        QScrollBar* bar = view.list()->verticalScrollBar();
        bar->setValue(bar->maximum());
        QVERIFY(bar->value() > 0);
        view.pill(HistoryEntry::kAsk)->click();
        QCOMPARE(bar->value(), 0);
        QVERIFY(view.list()->cardFor(view.model().entryAt(0).id));
    }

    void triggerHint_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("hasHotkey");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("teaching");
        QTest::addColumn<bool>("whileOpen");
        QTest::newRow("inactive") << false << true << "hold"
                                  << "⚠️ 快捷键未生效 · 见上方提示"
                                  << "按住即说，松开出字" << false;
        QTest::newRow("no talk key") << true << false << "toggle"
                                     << "未设置听写键 · 去设置里指定"
                                     << "未设置听写快捷键 · 到设置里指定一个" << false;
        QTest::newRow("hold") << true << true << "hold"
                              << "按住 Alt+Space 听写"
                              << "按住即说，松开出字" << false;
        QTest::newRow("toggle") << true << true << "toggle"
                                << "按 Alt+Space 听写，再按一下出字"
                                << "按一下即说，说完再按一下出字" << false;
        QTest::newRow("unknown trigger") << true << true << "tap"
                                         << "按 Alt+Space 听写，再按一下出字"
                                         << "按一下即说，说完再按一下出字" << false;
        // Changed in the settings window while the main window shows the old way.
        QTest::newRow("hold, changed while open") << true << true << "hold"
                                                  << "按住 Alt+Space 听写"
                                                  << "按住即说，松开出字" << true;
        QTest::newRow("no talk key, changed while open") << true << false << "toggle"
                                                         << "未设置听写键 · 去设置里指定"
                                                         << "未设置听写快捷键 · 到设置里指定一个" << true;
    }
    void triggerHint()
    {
        QFETCH(bool, active);
        QFETCH(bool, hasHotkey);
        QFETCH(QString, trigger);
        QFETCH(QString, hint);
        QFETCH(QString, teaching);
        QFETCH(bool, whileOpen);
        ViewRig rig;
        rig.state.setHotkeysActive(active);
        const auto configure = [&] {
            rig.settings.setHotkey(SettingKey::hkTalk, hasHotkey ? std::optional<Hotkey>(altSpace) : std::nullopt);
            rig.settings.setValue(SettingKey::recordTrigger, trigger);
        };
        if (!whileOpen)
            configure();
        rig.open();
        HistoryView& view = rig.view();
        if (whileOpen) {
            rig.settings.setHotkey(SettingKey::hkTalk, Hotkey{63, 0, true});
            rig.state.setStatusLine(rig.state.readyStatusLine());
            configure();
            QCOMPARE(rig.state.statusLine(), rig.state.readyStatusLine());
        }
        QCOMPARE(view.statusBar()->hintLabel()->text(), hint);
        QCOMPARE(view.emptyState()->line()->text(), teaching);
        QCOMPARE(view.emptyState()->keyCap()->isVisibleTo(view.emptyState()), hasHotkey);
        QCOMPARE(view.hotkeysBanner()->isVisibleTo(&view), !active);
    }

    // The count follows the lexicon itself: its file is read, and the first start's seed lands,
    // from workers once the window is up, with no other word to the window.
    void lexiconCountFollowsTheLexicon()
    {
        ViewRig rig;
        rig.open();
        QLabel* count = rig.view().statusBar()->lexiconLabel();
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("词库已记住 0 条"), kWaitMs);
        std::thread([&lexicon = rig.lexicon] {
            lexicon.seedIfEmpty({QStringLiteral("R&D")},
                                {CorrectionPair{QStringLiteral("RND"), QStringLiteral("R&D")}});
        }).join();
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("词库已记住 1 条"), kWaitMs);
        rig.lexicon.removeRule(rig.lexicon.allRules().constFirst().id);
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("词库已记住 0 条"), kWaitMs);
    }

    // The count comes once the file has been read; the bar keeps its height meanwhile, so nothing
    // above it moves when it comes.
    void theBarKeepsItsHeightWhileTheLexiconLoads()
    {
        QTemporaryDir dir;
        Lexicon lexicon(dir.path());
        HistoryStatusBar bar;
        bar.setHint(HistoryStatusBar::triggerHint(true, altSpace, QStringLiteral("hold")));
        bar.showLexicon(lexicon);
        bar.show();
        QVERIFY(!lexicon.isLoaded());
        const int loading = bar.sizeHint().height();
        QTRY_COMPARE_WITH_TIMEOUT(bar.lexiconLabel()->text(), QStringLiteral("词库已记住 0 条"), kWaitMs);
        QCOMPARE(bar.sizeHint().height(), loading);
    }

    // No permission brings a dead hotkey back: the banner sends the user to the hotkeys, not to the
    // accessibility settings.
    void hotkeysBannerOffersItsThreeWays()
    {
        ViewRig rig;
        rig.launcher.installed.insert(QStringLiteral("gnome-control-center"),
                                      QStringLiteral("/usr/bin/gnome-control-center"));
        rig.probes.accessibility = false;
        rig.state.setHotkeysActive(false);
        rig.open();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.permissions->isRefreshing(), kWaitMs);
        HistoryView& view = rig.view();
        QVERIFY(!view.hotkeysBanner()->title().contains(QStringLiteral("辅助功能")));
        QVERIFY(view.hotkeysBanner()->title().contains(QStringLiteral("X11")));
        QSignalSpy settings(&view, &HistoryView::settingsRequested);
        QSignalSpy retry(&view, &HistoryView::retryHotkeysRequested);
        QSignalSpy relaunch(&view, &HistoryView::relaunchRequested);
        const QList<QPushButton*> buttons = view.hotkeysBanner()->buttons();
        QCOMPARE(buttons.size(), 3);
        for (QPushButton* button : buttons)
            button->click();
        QCOMPARE(settings.count(), 1);
        QCOMPARE(retry.count(), 1);
        QCOMPARE(relaunch.count(), 1);
        QCOMPARE(rig.probes.enableCalls.load(), 0);
        QVERIFY(rig.launcher.starts.isEmpty());
        // The controller restarts the engine: the banner goes and the hint follows.
        rig.state.setHotkeysActive(true);
        QVERIFY(!view.hotkeysBanner()->isVisibleTo(&view));
        QVERIFY(!view.statusBar()->hintLabel()->text().startsWith(QStringLiteral("⚠️")));
    }

    void installBannerRevealsTheRunningProgram()
    {
        ViewRig rig;
        rig.open();
        QVERIFY(!rig.view().installBanner()->isVisibleTo(&rig.view()));

        ViewRig elsewhere;
        elsewhere.installWarning = InstallLocation::warning(QStringLiteral("/home/user/Downloads/murmo"), QString());
        elsewhere.open();
        ShellBanner* banner = elsewhere.view().installBanner();
        QVERIFY(banner->isVisibleTo(&elsewhere.view()));
        QCOMPARE(banner->title(), elsewhere.installWarning->title);
        banner->buttons().first()->click();
        QCOMPARE(elsewhere.revealed, QStringList{QStringLiteral("/home/user/Downloads/murmo")});
    }

    // Where no file manager could show a file, its path goes on the clipboard and the status line
    // says what to do with it; where one could, nothing is said.
    void aFileNoFileManagerShowedIsNotLeftUnsaid_data()
    {
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("shows");
        QTest::newRow("a card's recording") << true << false;
        QTest::newRow("the running program") << false << false;
        QTest::newRow("shown") << true << true;
    }
    void aFileNoFileManagerShowedIsNotLeftUnsaid()
    {
        QFETCH(bool, recording);
        QFETCH(bool, shows);
        ViewRig rig;
        rig.revealShows = shows;
        rig.installWarning = InstallLocation::warning(QStringLiteral("/home/user/Downloads/murmo"), QString());
        const HistoryEntry entry = rig.history.add(QStringLiteral("带录音的一条"), std::nullopt, true);
        rig.open();
        QApplication::clipboard()->setText(QStringLiteral("before"));
        const QString before = rig.state.statusLine();
        if (recording)
            rig.view().list()->cardFor(entry.id)->revealButton()->click();
        else
            rig.view().installBanner()->buttons().first()->click();
        QCOMPARE(rig.revealed.size(), 1);
        const QString path = rig.revealed.first();
        if (shows) {
            QCoreApplication::processEvents();
            QCOMPARE(rig.state.statusLine(), before);
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::clipboard()->text(), path, kWaitMs);
        QVERIFY(rig.state.statusLine().startsWith(QStringLiteral("未找到文件管理器")));
    }

    void fnBannerOnlyForATakenFnKey()
    {
        ViewRig rig;
        rig.settings.setHotkey(SettingKey::hkTalk, Hotkey{63, 0, true});
        rig.fnTaken = true;
        rig.open();
        QVERIFY(rig.view().fnBanner()->conflict());
        rig.fnTaken = false;
        rig.clock.advance(FnKeyConflictBanner::recheckInterval);
        QVERIFY(!rig.view().fnBanner()->conflict());
    }

    void headerPickerChoosesAndFollowsTheMode()
    {
        ViewRig rig;
        rig.settings.setValue(SettingKey::currentModeId, QStringLiteral("casual"));
        rig.open();
        // Built just after the window's first frame.
        QTRY_VERIFY_WITH_TIMEOUT(rig.view().header()->findChild<ModeCapsulePicker*>(), kWaitMs);
        auto* picker = rig.view().header()->findChild<ModeCapsulePicker*>();
        QVERIFY(picker->isVisible());
        QCOMPARE(picker->selection(), QStringLiteral("casual"));
        rig.state.setStatusLine(QStringLiteral("就绪"));
        const QList<StyleMode>& modes = StyleMode::builtins();
        const auto capsule = [&](const QString& id) {
            for (qsizetype i = 0; i < modes.size(); ++i) {
                if (modes[i].id == id)
                    return picker->capsules().at(i);
            }
            return static_cast<CapsuleButton*>(nullptr);
        };
        // The current mode again changes nothing.
        capsule(QStringLiteral("casual"))->click();
        QCOMPARE(rig.state.statusLine(), QStringLiteral("就绪"));
        capsule(QStringLiteral("formal"))->click();
        QCOMPARE(rig.settings.text(SettingKey::currentModeId), QStringLiteral("formal"));
        QCOMPARE(rig.state.statusLine(),
                 QStringLiteral("已切换默认模式：") + EntryAction::modeName(QStringLiteral("formal")));
        QCOMPARE(rig.view().statusBar()->statusLabel()->text(), rig.state.statusLine());
        // Changed elsewhere (the settings window, the cycle hotkey): the capsules follow.
        rig.settings.setValue(SettingKey::currentModeId, QStringLiteral("raw"));
        QCOMPARE(picker->selection(), QStringLiteral("raw"));
        QVERIFY(capsule(QStringLiteral("raw"))->isChosen());
        QVERIFY(!capsule(QStringLiteral("formal"))->isChosen());
    }

    void loginSheetFollowsTheGate()
    {
        ViewRig rig;
        rig.open();
        HistoryView& view = rig.view();
        QSignalSpy asked(&view, &HistoryView::loginRequested);
        rig.state.setShowLoginGate(true);
        QCOMPARE(asked.count(), 1);
        QPointer<QLabel> sheet = new QLabel(QStringLiteral("登录"));
        view.showLoginSheet(sheet);
        QCOMPARE(view.loginSheet(), sheet.data());
        QVERIFY(sheet->isVisible());
        rig.state.setShowLoginGate(false);
        QVERIFY(sheet.isNull());
        QVERIFY(!view.loginSheet());
        // A sheet that arrives after the gate closed is not shown.
        view.showLoginSheet(new QLabel);
        QVERIFY(!view.loginSheet());
    }

    void sheetsHoldTheKeyboard_data()
    {
        QTest::addColumn<bool>("login");
        QTest::newRow("sign-in") << true;
        QTest::newRow("first run") << false;
    }
    void sheetsHoldTheKeyboard()
    {
        QFETCH(bool, login);
        ViewRig rig;
        // Permissions missing: the first-run sheet offers its grant buttons beside "继续".
        rig.probes.microphone = false;
        rig.probes.accessibility = false;
        HistoryWindow& window = rig.open(login);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.permissions->isRefreshing(), kWaitMs);
        QWidget* sheet = window.onboarding();
        if (login) {
            rig.state.setShowLoginGate(true);
            sheet = new QWidget;
            auto* column = new QVBoxLayout(sheet);
            column->addWidget(new QLineEdit(sheet));
            column->addWidget(new QPushButton(QStringLiteral("登录"), sheet));
            rig.view().showLoginSheet(sheet);
        }
        QVERIFY(sheet);
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // Focus given to the history (as by the window opening) goes into the sheet.
        rig.view().pill(HistoryEntry::kDictate)->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(sheet->isAncestorOf(QApplication::focusWidget()), kWaitMs);
        QSet<QWidget*> reached;
        for (const Qt::KeyboardModifiers direction : {Qt::NoModifier, Qt::ShiftModifier}) {
            for (int press = 0; press < 12; ++press) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, direction);
                QWidget* focus = QApplication::focusWidget();
                QVERIFY2(sheet->isAncestorOf(focus), focus ? focus->metaObject()->className() : "nothing");
                reached.insert(focus);
            }
        }
        QVERIFY(reached.size() >= 2);
    }

    void onboardingCoversTheHistoryUntilDone()
    {
        ViewRig rig;
        rig.probes.accessibility = false;
        HistoryWindow& window = rig.open(false);
        OnboardingView* sheet = window.onboarding();
        QVERIFY(sheet && sheet->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.permissions->isRefreshing(), 20000);
        QSignalSpy done(&window, &HistoryWindow::onboardingDone);
        sheet->continueButton()->click();
        QCOMPARE(done.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!window.onboarding(), 20000);

        ViewRig onboarded;
        QVERIFY(!onboarded.open(true).onboarding());
    }

    // A grant button that could open no settings program says where to turn the permission on.
    void onboardingSaysWhereToGrantWithoutSettings_data()
    {
        QTest::addColumn<bool>("settingsInstalled");
        QTest::newRow("no settings program") << false;
        QTest::newRow("settings program") << true;
    }
    void onboardingSaysWhereToGrantWithoutSettings()
    {
        QFETCH(bool, settingsInstalled);
        ViewRig rig;
        rig.probes.microphone = false;
        if (settingsInstalled)
            rig.launcher.installed.insert(QStringLiteral("pavucontrol"), QStringLiteral("/usr/bin/pavucontrol"));
        PermissionRow* row = rig.open(false).onboarding()->row(MurmoPermission::microphone);
        QTRY_VERIFY_WITH_TIMEOUT(row->grantButton()->isVisibleTo(row), kWaitMs);
        row->grantButton()->click();
        QCOMPARE(rig.launcher.starts.size(), settingsInstalled ? 1 : 0);
        QCOMPARE(row->hint()->isVisibleTo(row), !settingsInstalled);
        if (!settingsInstalled)
            QCOMPARE(row->hint()->text(), MurmoPermissions::settingsHint(MurmoPermission::microphone));
    }

    void firstShowingIsAnnouncedOnce()
    {
        ViewRig rig;
        rig.open();
        HistoryWindow& window = *rig.window;
        QSignalSpy shown(&window, &HistoryWindow::firstShown);
        window.hide();
        window.bringToFront();
        QCOMPARE(shown.count(), 0);

        HistoryView::Parts parts{rig.state,  rig.settings, rig.history.store, rig.lexicon, *rig.permissions,
                                 rig.probes, rig.launcher, rig.audio,         rig.actions, rig.clock,
                                 {},         {},           std::nullopt,      QString()};
        HistoryWindow fresh(std::move(parts), true);
        QSignalSpy freshShown(&fresh, &HistoryWindow::firstShown);
        fresh.bringToFront();
        fresh.hide();
        fresh.bringToFront();
        QCOMPARE(freshShown.count(), 1);
    }
};

MURMO_TEST(TestHistoryView)
#include "tst_HistoryView.moc"

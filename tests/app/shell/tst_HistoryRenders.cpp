#include "app/controller/ControllerStartup.h"
#include "app/shell/ChipLabel.h"
#include "app/shell/EntryAction.h"
#include "app/shell/FilterPill.h"
#include "app/shell/FnKeyConflictBanner.h"
#include "app/shell/HistoryHeader.h"
#include "app/shell/HistoryIconButton.h"
#include "app/shell/HistoryStatusBar.h"
#include "app/shell/PermissionBanner.h"
#include "app/shell/PermissionRow.h"
#include "app/shell/ShellBanner.h"
#include "app/ui/FittedScrollArea.h"
#include "app/ui/Theme.h"
#include "app/ui/WrappingText.h"
#include "tests/app/feedback/TextContrast.h"
#include "tests/app/shell/ViewRig.h"
#include "tests/support/TestRegistry.h"

#include <QAbstractButton>
#include <QEnterEvent>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The settings window at its narrowest, less its page's and card's margins and a scroll bar.
constexpr int narrowestSettingsCard = 540 - 2 * 20 - 12;

QString outputDir()
{
    const QString dir =
        qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath() + QStringLiteral("/murmo-test-output")) +
        QStringLiteral("/shell");
    QDir().mkpath(dir);
    return dir;
}

// Entries of every action, newest last: what a day of use leaves behind.
void fillHistory(ViewRig& rig)
{
    rig.history.add(QStringLiteral("明天上午十点和设计组过一遍新版首页，记得带上上周的用户访谈记录。"), std::nullopt,
                    true, QStringLiteral("嗯明天上午十点那个和设计组过一遍新版首页记得带上上周的用户访谈记录"));
    rig.history.add(QStringLiteral("Could you send me the quarterly report by Friday?"), HistoryEntry::kTranslate, true,
                    QStringLiteral("你能周五之前把季度报告发给我吗"));
    rig.history.add(QStringLiteral("“成文”出自《礼记》，原意是写成文字、形成条文。"), HistoryEntry::kAsk, false,
                    QStringLiteral("成文这个词出自哪里"));
    rig.history.add(QStringLiteral("感谢各位的耐心等待，新版本将于本周五正式上线。"), HistoryEntry::kRewrite, true,
                    QStringLiteral("改得正式一点"));
    rig.history.add(QStringLiteral("（识别失败 · 点 ↻ 重试）"), HistoryEntry::kDictate, true, QString(""));
    rig.history.add(QStringLiteral("好的，<b>收到</b>，我这就去办。"), HistoryEntry::kDictate, true);
}

// How near the pixel closest to colour comes to it, as a contrast ratio (1 is the colour itself).
double closestTo(const QImage& render, const QRect& area, const QColor& colour)
{
    double best = 21.0;
    const QRect inside = area & render.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x)
            best = std::min(best, ContrastRatio::ratio(render.pixelColor(x, y), colour));
    }
    return best;
}

void hover(QWidget* widget)
{
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(widget, &event);
}

// Nothing a user should see is cut off or overlaps: each shown control lies inside its parent,
// wrapped texts get the height they need, and siblings in a row do not overlap.
void checkGeometry(QWidget* root, const QString& scene)
{
    const QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(root) || qobject_cast<QScrollBar*>(widget))
            continue;
        QWidget* parent = widget->parentWidget();
        // What scrolls (the cards, the banners' column) may reach past its viewport.
        const auto* area = parent ? qobject_cast<QAbstractScrollArea*>(parent->parentWidget()) : nullptr;
        const bool scrolled = area && area->viewport() == parent;
        if (!scrolled && parent && !parent->rect().contains(widget->geometry()))
            QFAIL(qPrintable(QStringLiteral("%1: %2 %3 sticks out of %4")
                                 .arg(scene, widget->metaObject()->className(), widget->objectName(),
                                      parent->metaObject()->className())));
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->wordWrap() && label->height() < label->heightForWidth(label->width()))
                QFAIL(qPrintable(scene + QStringLiteral(": wrapped text cut: ") + label->text()));
            if (!label->wordWrap() && label->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored &&
                label->width() < label->sizeHint().width())
                QFAIL(qPrintable(scene + QStringLiteral(": text cut: ") + label->text()));
        }
        if (widget->layout() && widget->layout()->hasHeightForWidth() &&
            widget->height() < widget->heightForWidth(widget->width()))
            QFAIL(qPrintable(
                QStringLiteral("%1: %2 squeezed below its height").arg(scene, widget->metaObject()->className())));
        if (auto* text = qobject_cast<WrappingText*>(widget)) {
            if (text->height() < text->heightForWidth(text->width()) ||
                text->document()->idealWidth() > text->viewport()->width())
                QFAIL(qPrintable(scene + QStringLiteral(": text cut: ") + text->text().left(40)));
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->height() < button->minimumSizeHint().height())
                QFAIL(qPrintable(scene + QStringLiteral(": button squeezed: ") + button->text()));
            for (QWidget* sibling : widgets) {
                if (sibling != button && sibling->parentWidget() == parent && sibling->isVisibleTo(root) &&
                    qobject_cast<QAbstractButton*>(sibling) && sibling->geometry().intersects(button->geometry()))
                    QFAIL(qPrintable(scene + QStringLiteral(": buttons overlap: ") + button->text()));
            }
        }
    }
}

void checkCards(HistoryView& view)
{
    QList<HistoryEntryCard*> cards = view.list()->visibleCards();
    std::sort(cards.begin(), cards.end(), [](auto* a, auto* b) { return a->geometry().top() < b->geometry().top(); });
    const int viewport = view.list()->viewport()->width();
    for (qsizetype i = 0; i < cards.size(); ++i) {
        const QRect card = cards.at(i)->geometry();
        QVERIFY(card.width() <= HistoryListView::maxWidth - 2 * HistoryListView::padding);
        QVERIFY(qAbs(card.left() - (viewport - card.right() - 1)) <= 1);
        QVERIFY(card.height() >= cards.at(i)->heightForWidth(card.width()));
        if (i > 0)
            QCOMPARE(card.top() - cards.at(i - 1)->geometry().bottom() - 1, HistoryListView::spacing);
    }
}

} // namespace

class TestHistoryRenders : public QObject
{
    Q_OBJECT

private:
    void render(HistoryWindow& window, const QString& scene)
    {
        QApplication::processEvents();
        checkGeometry(&window, scene);
        checkCards(*window.view());
        const QImage image = window.grab().toImage();
        QVERIFY(image.save(QStringLiteral("%1/%2-%3.png").arg(outputDir(), scene, Theme::isDark() ? "dark" : "light")));
        // The cards' own texts stay legible on the card in every skin and appearance, and the
        // chips draw in their own colour.
        for (HistoryEntryCard* card : window.view()->list()->visibleCards()) {
            ChipLabel* chip = card->actionChip();
            const QRect chipArea(chip->mapTo(&window, QPoint(0, 0)), chip->size());
            const QColor ink = Theme::color(EntryAction::actionColor(card->entry()));
            QVERIFY2(closestTo(image, chipArea, ink) < 1.3,
                     qPrintable(scene + QStringLiteral(": chip not in its colour")));
            QWidget* text = card->textLabel();
            if (!text->isVisibleTo(card))
                continue;
            const QRect area(text->mapTo(&window, QPoint(0, 0)), text->size());
            const double contrast = TextContrast::strongestAgainst(image, area, Theme::color(Theme::palette().bgCard));
            QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("%1: %2").arg(scene).arg(contrast)));
        }
    }

private Q_SLOTS:
    void init() { Theme::setPalette(ThemePalette::xuan()); }
    void cleanup() { Theme::setDark(false); }

    void everyScene_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void everyScene()
    {
        QFETCH(bool, dark);
        Theme::setDark(dark);
        {
            ViewRig rig;
            rig.settings.setHotkey(SettingKey::hkTalk, Hotkey{49, 0x80000, false});
            render(rig.open(), QStringLiteral("empty"));
        }
        {
            ViewRig rig;
            fillHistory(rig);
            HistoryWindow& window = rig.open();
            HistoryView& view = *window.view();
            rig.state.setStatusLine(QStringLiteral("已插入 · 用时 1.2 秒"));
            // The failed take under the pointer, playing its recording, with its retry in view.
            const HistoryEntry newest = view.model().entryAt(1);
            QVERIFY(newest.finalText.startsWith(QStringLiteral("（识别失败")));
            rig.audio.play(*rig.history.store.audioURL(newest), newest.id);
            hover(view.list()->cardFor(newest.id));
            QTRY_COMPARE_WITH_TIMEOUT(view.list()->cardFor(newest.id)->actionsOpacity(), 1.0, 20000);
            render(window, QStringLiteral("entries"));
            QVERIFY(view.list()->cardFor(newest.id)->playButton()->icon() == QStringLiteral("stop.fill"));

            for (const auto& [name, action] :
                 QList<QPair<QString, std::optional<QString>>>{{"filter-all", std::nullopt},
                                                               {"filter-dictate", HistoryEntry::kDictate},
                                                               {"filter-translate", HistoryEntry::kTranslate},
                                                               {"filter-ask", HistoryEntry::kAsk},
                                                               {"filter-rewrite", HistoryEntry::kRewrite}}) {
                view.pill(action)->click();
                render(window, name);
            }
            view.pill(std::nullopt)->click();
            HistoryEntryCard* first = view.list()->cardFor(view.model().entryAt(1).id);
            first->correctButton()->click();
            view.list()
                ->cardFor(view.model().entryAt(1).id)
                ->editor()
                ->setPlainText(QStringLiteral("好的，收到。\n我这就去办，稍后回复你。"));
            render(window, QStringLiteral("editing"));
        }
        {
            // An address of 300 characters, and a long run of digits, wrap inside the card.
            ViewRig rig;
            rig.history.add(QStringLiteral("看这个：https://example.com/") + QStringLiteral("a1b2c3d4e5").repeated(27));
            rig.history.add(QStringLiteral("订单号 ") + QStringLiteral("0123456789").repeated(12) +
                            QStringLiteral(" 已发货"));
            HistoryWindow& window = rig.open();
            window.resize(HistoryView::minimumWidth, 600);
            render(window, QStringLiteral("long-words"));
        }
        {
            ViewRig rig;
            rig.history.add(QStringLiteral("只有一条听写"));
            HistoryWindow& window = rig.open();
            window.view()->pill(HistoryEntry::kAsk)->click();
            render(window, QStringLiteral("filter-no-match"));
        }
        {
            ViewRig rig;
            rig.probes.microphone = false;
            rig.probes.accessibility = false;
            rig.state.setHotkeysActive(false);
            rig.settings.setHotkey(SettingKey::hkTalk, Hotkey{63, 0, true});
            rig.fnTaken = true;
            rig.installWarning = InstallLocation::warning(QStringLiteral("/home/user/Downloads/murmo"), QString());
            fillHistory(rig);
            HistoryWindow& window = rig.open();
            QTRY_VERIFY_WITH_TIMEOUT(!rig.permissions->isRefreshing(), 20000);
            QVERIFY(window.view()->permissionBanner()->strip(MurmoPermission::accessibility)->isVisibleTo(&window));
            QVERIFY(window.view()->fnBanner()->conflict());
            // Every banner at once, from a tall window down to the smallest: the banners keep
            // their height and scroll, the list keeps its share.
            for (const QSize size :
                 {QSize(780, 900), QSize(780, 560), QSize(HistoryView::minimumWidth, HistoryView::minimumHeight)}) {
                window.resize(size);
                QApplication::processEvents();
                QCOMPARE(window.size(), size);
                const FittedScrollArea* banners = window.view()->bannerArea();
                QVERIFY(banners->height() == banners->neededHeight() || banners->height() == banners->heightLimit());
                QVERIFY(window.view()->list()->height() >= HistoryView::listFloor);
                render(window, QStringLiteral("banners-%1x%2").arg(size.width()).arg(size.height()));
            }
        }
        {
            ViewRig rig;
            rig.probes.accessibility = false;
            HistoryWindow& window = rig.open(false);
            QTRY_VERIFY_WITH_TIMEOUT(!rig.permissions->isRefreshing(), 20000);
            render(window, QStringLiteral("onboarding"));
        }
        {
            // The rows as the settings' general page lists them, in its narrowest card.
            QWidget card;
            auto* rows = new QVBoxLayout(&card);
            rows->setContentsMargins(14, 10, 14, 10);
            rows->addWidget(new PermissionRow(MurmoPermission::microphone, true, &card));
            rows->addWidget(new PermissionRow(MurmoPermission::accessibility, false, &card));
            card.setFixedWidth(narrowestSettingsCard);
            QPalette colours = card.palette();
            colours.setColor(QPalette::Window, Theme::color(Theme::palette().bgCard));
            card.setPalette(colours);
            card.setAutoFillBackground(true);
            card.show();
            card.resize(narrowestSettingsCard, card.heightForWidth(narrowestSettingsCard));
            QApplication::processEvents();
            checkGeometry(&card, QStringLiteral("permission-rows"));
            QVERIFY(card.grab().toImage().save(
                QStringLiteral("%1/permission-rows-%2.png").arg(outputDir(), dark ? "dark" : "light")));
        }
    }

    // The notice of a settings file set aside names the file, which the user needs whole to tell it
    // from the others; the status line wraps rather than cut it.
    void aNoticeShowsTheFileItNames_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("wholeNotice");
        QTest::newRow("default width") << HistoryWindow::defaultSize.width() << true;
        QTest::newRow("narrowest") << HistoryView::minimumWidth << false;
    }
    void aNoticeShowsTheFileItNames()
    {
        QFETCH(int, width);
        QFETCH(bool, wholeNotice);
        ViewRig rig;
        HistoryWindow& window = rig.open();
        window.resize(width, HistoryWindow::defaultSize.height());
        const QString keptAs = QStringLiteral("/home/user/.config/Murmo/Murmo.conf.unreadable-20261208-123456");
        rig.state.showNotice(ControllerStartup::settingsSetAsideLine(keptAs));
        render(window, QStringLiteral("settings-notice-%1").arg(width));
        const QLabel* status = window.view()->statusBar()->statusLabel();
        QVERIFY2(status->text().contains(QStringLiteral("Murmo.conf.unreadable-20261208-123456")),
                 qPrintable(status->text()));
        if (wholeNotice)
            QVERIFY2(status->toolTip().isEmpty(), qPrintable(status->text()));
    }

    void narrowWindowDropsTheTagline()
    {
        ViewRig rig;
        HistoryWindow& window = rig.open();
        QApplication::processEvents();
        QVERIFY(window.view()->header()->taglineShown());
        auto* picker = new QWidget;
        picker->setFixedSize(400, 24);
        window.view()->header()->setModePicker(picker);
        window.resize(HistoryView::minimumWidth, 500);
        QApplication::processEvents();
        QVERIFY(!window.view()->header()->taglineShown());
        checkGeometry(&window, QStringLiteral("narrow"));
    }
};

MURMO_TEST(TestHistoryRenders)
#include "tst_HistoryRenders.moc"

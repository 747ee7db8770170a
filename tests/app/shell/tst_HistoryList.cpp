#include "app/shell/ChipLabel.h"
#include "app/shell/EntryAction.h"
#include "app/shell/HistoryEntryCard.h"
#include "app/shell/HistoryIconButton.h"
#include "app/ui/CopyIconButton.h"
#include "app/ui/Theme.h"
#include "app/ui/WrappingText.h"
#include "tests/app/shell/ShellFakes.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QEnterEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

namespace {

void enter(QWidget* widget)
{
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(widget, &event);
}

void leave(QWidget* widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

// Where the entry's card stands in the window, or -1 when it is not in view.
int screenTop(ListRig& rig, const QUuid& id)
{
    HistoryEntryCard* card = rig.view.cardFor(id);
    return card ? card->geometry().top() : -1;
}

} // namespace

class TestHistoryList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
    }

    void buildsOnlyTheCardsInView()
    {
        ListRig rig;
        // Straight into the model: two thousand saves of the store would only slow the test.
        QList<HistoryEntry> entries;
        for (int i = 0; i < 2000; ++i)
            entries << HistoryEntry::make({},
                                          QStringLiteral("第 %1 条：今天下午三点在会议室讨论下一季度的计划。").arg(i),
                                          QStringLiteral("formal"), QStringLiteral("qwen"));
        rig.model.setEntries(entries);
        rig.view.show();
        QVERIFY(rig.view.builtCards() > 0);
        QVERIFY2(rig.view.builtCards() <= 8, qPrintable(QString::number(rig.view.builtCards())));

        QScrollBar* bar = rig.view.verticalScrollBar();
        bar->setValue(bar->maximum());
        // The oldest entry is the last row, and reaching it builds no more cards than a screenful.
        const QUuid oldest = rig.model.entryAt(rig.model.rowCount() - 1).id;
        QVERIFY(rig.view.cardFor(oldest));
        QVERIFY(rig.view.builtCards() <= 16);
        const QRect last = rig.view.cardFor(oldest)->geometry();
        QCOMPARE(last.bottom() + 1 + HistoryListView::padding, rig.view.viewport()->height());
    }

    void aViewShorterThanItsPaddingScrollsToTheEnd()
    {
        ListRig rig;
        for (int i = 0; i < 3; ++i)
            rig.history.add(QStringLiteral("第 %1 条").arg(i));
        rig.refresh();
        rig.view.resize(400, 10);
        rig.view.show();
        QScrollBar* bar = rig.view.verticalScrollBar();
        bar->setValue(bar->maximum());
        QVERIFY(rig.view.visibleCards().size() <= 1);
    }

    void cardActionsReachTheirServices()
    {
        ListRig rig;
        const HistoryEntry entry = rig.history.add(QStringLiteral("带录音的一条"), std::nullopt, true);
        rig.refresh();
        rig.view.show();
        HistoryEntryCard* card = rig.view.cardFor(entry.id);
        QVERIFY(card);
        const QString recording = *rig.history.store.audioURL(entry);

        card->playButton()->click();
        QCOMPARE(rig.audio.currentId(), std::optional<QUuid>(entry.id));
        QCOMPARE(card->playButton()->icon(), QStringLiteral("stop.fill"));
        QCOMPARE(card->playButton()->toolTip(), QStringLiteral("停止播放"));
        card->playButton()->click();
        QVERIFY(!rig.audio.isPlaying());
        QCOMPARE(card->playButton()->icon(), QStringLiteral("play.fill"));

        card->revealButton()->click();
        QCOMPARE(rig.revealed, QStringList{recording});
        card->retranscribeButton()->click();
        QCOMPARE(rig.actions.retranscribed, QList<QUuid>{entry.id});

        QApplication::clipboard()->setText(QStringLiteral("before"));
        card->copyButton()->click();
        QCOMPARE(QApplication::clipboard()->text(), entry.finalText);
    }

    void entryWithoutRecordingKeepsCopyAndCorrect()
    {
        ListRig rig;
        const HistoryEntry entry = rig.history.add(QStringLiteral("没有录音"));
        rig.refresh();
        rig.view.show();
        HistoryEntryCard* card = rig.view.cardFor(entry.id);
        QVERIFY(!card->playButton()->isVisibleTo(card));
        QVERIFY(!card->revealButton()->isVisibleTo(card));
        QVERIFY(!card->retranscribeButton()->isVisibleTo(card));
        QVERIFY(card->copyButton()->isVisibleTo(card));
        QVERIFY(card->correctButton()->isVisibleTo(card));
    }

    // The copy button is named for screen readers, and a placeholder (recognition under way or
    // failed) offers nothing to copy: it is nothing the user said.
    void copyOffersOnlyWhatWasSaid_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("copyable");
        QTest::newRow("said") << QStringLiteral("说过的话") << true;
        QTest::newRow("recognising") << HistoryEntry::kRecognisingText << false;
        QTest::newRow("failed") << HistoryEntry::kFailedText << false;
    }
    void copyOffersOnlyWhatWasSaid()
    {
        QFETCH(QString, text);
        QFETCH(bool, copyable);
        ListRig rig;
        const HistoryEntry entry = rig.history.add(text, std::nullopt, true);
        rig.refresh();
        rig.view.show();
        HistoryEntryCard* card = rig.view.cardFor(entry.id);
        QCOMPARE(card->copyButton()->isVisibleTo(card), copyable);
        QVERIFY(card->retranscribeButton()->isVisibleTo(card));
        QAccessibleInterface* named = QAccessible::queryAccessibleInterface(card->copyButton());
        QVERIFY(named);
        QCOMPARE(named->text(QAccessible::Name), card->copyButton()->toolTip());
    }

    void correctionSendsTheTextAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("changed, with spaces kept") << QStringLiteral("  改好的文字 \n");
        QTest::newRow("unchanged still sent") << QString();
    }
    void correctionSendsTheTextAsTyped()
    {
        QFETCH(QString, typed);
        ListRig rig;
        const HistoryEntry entry = rig.history.add(QStringLiteral("原来的文字"));
        rig.refresh();
        rig.view.show();
        HistoryEntryCard* card = rig.view.cardFor(entry.id);
        QCOMPARE(card->correctButton()->text(), QStringLiteral("校对"));
        card->correctButton()->click();
        QCOMPARE(rig.view.editingId(), std::optional<QUuid>(entry.id));
        card = rig.view.cardFor(entry.id);
        QVERIFY(card->editor()->isVisibleTo(card));
        QCOMPARE(card->editor()->toPlainText(), entry.finalText);
        QCOMPARE(card->correctButton()->text(), QStringLiteral("保存并学习"));
        if (!typed.isNull())
            card->editor()->setPlainText(typed);
        card->correctButton()->click();

        const QString expected = typed.isNull() ? entry.finalText : typed;
        QCOMPARE(rig.actions.corrected, (QList<QPair<QUuid, QString>>{{entry.id, expected}}));
        QVERIFY(!rig.view.editingId());
        QVERIFY(!rig.view.cardFor(entry.id)->editor()->isVisibleTo(card));
    }

    void editorAndScrollSurviveARefresh()
    {
        ListRig rig;
        for (int i = 0; i < 60; ++i)
            rig.history.add(QStringLiteral("第 %1 条").arg(i));
        rig.refresh();
        rig.view.show();
        rig.view.verticalScrollBar()->setValue(rig.view.verticalScrollBar()->maximum() / 2);
        const auto visible = rig.view.visibleCards();
        HistoryEntryCard* target = visible.at(visible.size() / 2);
        const QUuid id = target->entry().id;
        target->correctButton()->click();
        target = rig.view.cardFor(id);
        target->editor()->setPlainText(QStringLiteral("改到一半"));
        const int topBefore = screenTop(rig, id);

        // A dictation lands on top and an older entry changes while the user edits further down.
        rig.history.add(QStringLiteral("刚说的一条"));
        rig.history.add(QStringLiteral("又一条"));
        const HistoryEntry older = rig.model.entryAt(rig.model.rowCount() - 1);
        rig.history.store.updateFinalText(older.id, QStringLiteral("别处改过"));
        rig.refresh();

        QCOMPARE(rig.view.editingId(), std::optional<QUuid>(id));
        QCOMPARE(rig.view.cardFor(id), target);
        QCOMPARE(target->editor()->toPlainText(), QStringLiteral("改到一半"));
        QCOMPARE(screenTop(rig, id), topBefore);
    }

    void aSecondEditorReplacesTheFirst()
    {
        ListRig rig;
        const HistoryEntry first = rig.history.add(QStringLiteral("第一条"));
        const HistoryEntry second = rig.history.add(QStringLiteral("第二条"));
        rig.refresh();
        rig.view.show();
        rig.view.cardFor(first.id)->correctButton()->click();
        rig.view.cardFor(first.id)->editor()->setPlainText(QStringLiteral("没保存的"));
        rig.view.cardFor(second.id)->correctButton()->click();
        QCOMPARE(rig.view.editingId(), std::optional<QUuid>(second.id));
        QCOMPARE(rig.view.cardFor(second.id)->editor()->toPlainText(), second.finalText);
        QVERIFY(!rig.view.cardFor(first.id)->look().editing);
        QVERIFY(rig.actions.corrected.isEmpty());
    }

    void outsideTextIsShownAsPlainText()
    {
        ListRig rig;
        const QString markup = QStringLiteral("<b>粗体</b><img src=x>");
        const HistoryEntry entry = rig.history.add(markup, HistoryEntry::kAsk, false, QStringLiteral("<i>问</i>"));
        rig.refresh();
        rig.view.show();
        HistoryEntryCard* card = rig.view.cardFor(entry.id);
        QCOMPARE(card->textLabel()->text(), markup);
        QCOMPARE(card->sourceLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(card->sourceLabel()->text(), QStringLiteral("问题: <i>问</i>"));
        // A question is labelled in violet and has no mode chip.
        QCOMPARE(card->actionChip()->text(), QStringLiteral("提问"));
        QCOMPARE(card->actionChip()->palette().color(QPalette::WindowText), Theme::color(Theme::palette().violet));
        QVERIFY(!card->modeChip()->isVisibleTo(card));
    }

    // A take the microphone cut says where on its card; the card, reused for a whole take, not.
    void aCutTakeSaysWhereOnItsCard()
    {
        ManualClock clock;
        HistoryEntryCard card(clock);
        HistoryEntry cut = HistoryEntry::make(QStringLiteral("明天见"), QStringLiteral("明天见。"),
                                              QStringLiteral("formal"), QStringLiteral("gateway"));
        cut.cutAt = 3.94;
        card.bind(cut, {});
        QVERIFY(card.cutChip()->isVisibleTo(&card));
        QCOMPARE(card.cutChip()->text(), QStringLiteral("录音在 3.9 秒处中断"));
        HistoryEntry whole = cut;
        whole.id = QUuid::createUuid();
        whole.cutAt.reset();
        card.bind(whole, {});
        QVERIFY(!card.cutChip()->isVisibleTo(&card));
    }

    void sourceLineOnlyWhenTheWordsDiffer_data()
    {
        QTest::addColumn<QString>("asr");
        QTest::addColumn<QString>("final");
        QTest::addColumn<bool>("edit");
        QTest::addColumn<bool>("shown");
        QTest::newRow("differs") << "嗯那个明天见"
                                 << "明天见。" << false << true;
        QTest::newRow("same") << "明天见。"
                              << "明天见。" << false << false;
        QTest::newRow("empty") << ""
                               << "明天见。" << false << false;
        QTest::newRow("differs, editing") << "嗯那个明天见"
                                          << "明天见。" << true << false;
    }
    void sourceLineOnlyWhenTheWordsDiffer()
    {
        QFETCH(QString, asr);
        QFETCH(QString, final);
        QFETCH(bool, edit);
        QFETCH(bool, shown);
        ListRig rig;
        const HistoryEntry entry = rig.history.add(final, std::nullopt, false, asr);
        rig.refresh();
        rig.view.show();
        if (edit)
            rig.view.cardFor(entry.id)->correctButton()->click();
        HistoryEntryCard* card = rig.view.cardFor(entry.id);
        QCOMPARE(card->sourceLabel()->isVisibleTo(card), shown);
    }

    void actionsShowOnHoverAndKeepTheirPlace()
    {
        ListRig rig;
        const HistoryEntry first = rig.history.add(QStringLiteral("一"));
        const HistoryEntry second = rig.history.add(QStringLiteral("二"));
        rig.refresh();
        rig.view.show();
        HistoryEntryCard* a = rig.view.cardFor(first.id);
        HistoryEntryCard* b = rig.view.cardFor(second.id);
        QCOMPARE(a->actionsOpacity(), 0.0);
        QVERIFY(a->correctButton()->isVisibleTo(a));

        enter(a);
        QCOMPARE(rig.view.hoveredId(), std::optional<QUuid>(first.id));
        QTRY_COMPARE_WITH_TIMEOUT(a->actionsOpacity(), 1.0, 20000);
        // Entering the next card before leaving the first: the late leave must not clear it.
        enter(b);
        leave(a);
        QCOMPARE(rig.view.hoveredId(), std::optional<QUuid>(second.id));
        leave(b);
        QVERIFY(!rig.view.hoveredId());
        QTRY_COMPARE_WITH_TIMEOUT(b->actionsOpacity(), 0.0, 20000);
    }
};

MURMO_TEST(TestHistoryList)
#include "tst_HistoryList.moc"

#include "app/desktop/TextInserter.h"
#include "app/feedback/AnswerActionButton.h"
#include "app/feedback/AnswerPanel.h"
#include "app/feedback/AnswerPopup.h"
#include "app/feedback/AnswerView.h"
#include "app/ui/CopyIconButton.h"
#include "app/ui/Theme.h"
#include "tests/app/feedback/FeedbackFakes.h"
#include "tests/app/feedback/TextContrast.h"
#include "tests/support/FakeAccessibility.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

using namespace std::chrono_literals;
using Look = AnswerActionButton::Look;
using Phase = AnswerModel::Phase;

namespace {

struct Rig
{
    FakeClipboard clipboard;
    RecordingKeySynthesizer keys;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    ManualClock clock;
    FakeScreens screens;
    FakeCompositing compositing;
    TextInserter inserter{clipboard, keys, workspace, accessibility, clock};
    AnswerPopup popup{inserter, clipboard, clock, screens, compositing};

    Rig() { workspace.addApplication(QStringLiteral("gedit"), 10, QStringLiteral("Text Editor")); }
};

void savePicture(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath()) + "/answer-popup";
    QDir().mkpath(dir);
    widget->grab().save(dir + "/" + name + ".png");
}

} // namespace

class AnswerPopupTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Theme::setPalette(ThemePalette::xuan()); }

    void placesTheCardAtTheTopRightOfTheActiveScreen_data()
    {
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<std::optional<int>>("active");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("one screen") << QList<QRect>{{0, 0, 1920, 1080}} << std::optional<int>(0)
                                    << QRect(1920 - 480 - 24, 24, 480, 380);
        QTest::newRow("panel on top") << QList<QRect>{{0, 32, 1920, 1048}} << std::optional<int>(0)
                                      << QRect(1416, 56, 480, 380);
        QTest::newRow("second screen active") << QList<QRect>{{0, 0, 1920, 1080}, {1920, 0, 2560, 1440}}
                                              << std::optional<int>(1) << QRect(1920 + 2560 - 504, 24, 480, 380);
        QTest::newRow("no active screen: the first") << QList<QRect>{{100, 0, 1280, 800}, {1380, 0, 1920, 1080}}
                                                     << std::optional<int>() << QRect(100 + 1280 - 504, 24, 480, 380);
        QTest::newRow("no screen at all") << QList<QRect>{} << std::optional<int>() << QRect(-504, 24, 480, 380);
    }

    void placesTheCardAtTheTopRightOfTheActiveScreen()
    {
        QFETCH(QList<QRect>, areas);
        QFETCH(std::optional<int>, active);
        QFETCH(QRect, expected);
        Rig rig;
        rig.screens.areas = areas;
        rig.screens.active = active;
        rig.popup.thinking("今天天气怎么样");
        QVERIFY(rig.popup.isShowing());
        QCOMPARE(rig.popup.panel()->geometry(), expected);
    }

    void showsEachPhase()
    {
        Rig rig;
        rig.popup.thinking("北京到上海多远？");
        AnswerView* view = rig.popup.view();
        QVERIFY(view);
        QCOMPARE(view->headerText(), QStringLiteral("北京到上海多远？"));
        QCOMPARE(view->currentBody(), view->thinkingRow());
        QVERIFY(view->footer()->isHidden());
        savePicture(rig.popup.panel(), "thinking");

        rig.popup.answer("北京到上海多远？", "大约 1200 公里。", QStringLiteral("gedit"));
        QCOMPARE(view->currentBody(), view->answerScroll());
        QCOMPARE(view->answerLabel()->text(), QStringLiteral("大约 1200 公里。"));
        QVERIFY(!view->footer()->isHidden());
        QCOMPARE(view->copyButton()->host(), CopyIconButton::Host::answerPopup);
        QCOMPARE(view->copyButton()->toolTip(), QStringLiteral("复制回答"));
        QCOMPARE(view->actionButton()->title(), QStringLiteral("插入到光标处"));
        QCOMPARE(view->actionButton()->symbolName(), QStringLiteral("text.insert"));
        QVERIFY(view->answerLabel()->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(view->answerLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(rig.popup.model()->targetBundleId(), QStringLiteral("gedit"));
        savePicture(rig.popup.panel(), "answer");

        rig.popup.failed("网络连接失败");
        QCOMPARE(rig.popup.model()->phase(), Phase::failed);
        QCOMPARE(view->currentBody(), view->failureLabel()->parentWidget());
        QCOMPARE(view->failureLabel()->text(), QStringLiteral("回答失败：网络连接失败"));
        QVERIFY(view->footer()->isHidden());
        QCOMPARE(view->headerText(), QStringLiteral("北京到上海多远？"));
        savePicture(rig.popup.panel(), "failed");

        QCOMPARE(view->closeButton()->toolTip(), QStringLiteral("关闭"));
        QCOMPARE(rig.popup.panel()->size(), QSize(480, 380));
    }

    void thinkingKeepsTheTargetAndClearsTheAnswer()
    {
        Rig rig;
        rig.popup.answer("q1", "a1", QStringLiteral("gedit"));
        rig.popup.thinking("q2");
        QCOMPARE(rig.popup.model()->answer(), QString());
        QCOMPARE(rig.popup.model()->question(), QStringLiteral("q2"));
        QCOMPARE(rig.popup.model()->targetBundleId(), QStringLiteral("gedit"));
    }

    void theHeaderShowsAtMostTwoLines_data()
    {
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << ""
                               << "提问";
        QTest::newRow("short") << "几点了"
                               << "几点了";
    }

    void theHeaderShowsAtMostTwoLines()
    {
        QFETCH(QString, question);
        QFETCH(QString, shown);
        Rig rig;
        rig.popup.thinking(question);
        QCOMPARE(rig.popup.view()->headerText(), shown);
    }

    void aLongQuestionIsCutAfterTheSecondLine()
    {
        Rig rig;
        const QString question = QString("这是一个非常长的问题，").repeated(20);
        rig.popup.thinking(question);
        QLabel* label = rig.popup.view()->questionLabel();
        const QString shown = rig.popup.view()->headerText();
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(shown.size() < question.size());
        QVERIFY(question.startsWith(shown.chopped(1)));
        const QFontMetrics metrics(label->font());
        const int height = metrics.boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, shown).height();
        // Measured with the Chinese text itself: its fallback font sets the line height.
        const int line = metrics.boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, "问").height();
        QVERIFY2(height <= 2 * line, qPrintable(QString::number(height)));
        // One character more would have needed a third line.
        const QString longer = question.left(shown.size());
        QVERIFY(metrics.boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, longer + "问问问").height() >
                2 * line);
    }

    void aLongAnswerScrolls()
    {
        Rig rig;
        rig.popup.answer("q", QString("很长的回答。\n").repeated(200), QStringLiteral("gedit"));
        QScrollArea* scroll = rig.popup.view()->answerScroll();
        QApplication::processEvents();
        QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
        QCOMPARE(rig.popup.panel()->size(), QSize(480, 380));
    }

    void aPresentWhileShownOnlyChangesTheContent()
    {
        Rig rig;
        rig.popup.answer("q1", "a1", QStringLiteral("gedit"));
        rig.clock.advance(1s);
        rig.popup.panel()->move(300, 400); // dragged by the user
        rig.popup.thinking("q2");
        QCOMPARE(rig.popup.panel()->pos(), QPoint(300, 400));
        QCOMPARE(rig.popup.view()->headerText(), QStringLiteral("q2"));
        QCOMPARE(rig.popup.panel()->windowOpacity(), 1.0);
    }

    void hideFadesOutAndTheNextPresentComesBackToTheCorner()
    {
        Rig rig;
        rig.popup.answer("q1", "a1", QStringLiteral("gedit"));
        rig.popup.panel()->move(300, 400);
        rig.popup.hide();
        QVERIFY(rig.popup.isShowing());
        rig.clock.advance(159ms);
        QVERIFY(rig.popup.isShowing());
        rig.clock.advance(1ms);
        QVERIFY(!rig.popup.isShowing());
        QCOMPARE(rig.popup.panel()->windowOpacity(), 1.0);

        rig.popup.thinking("q2");
        QVERIFY(rig.popup.isShowing());
        QCOMPARE(rig.popup.panel()->pos(), QPoint(1416, 24));
    }

    void aQuestionDuringTheFadeOutIsNotLost()
    {
        Rig rig;
        rig.popup.answer("q1", "a1", QStringLiteral("gedit"));
        rig.popup.view()->closeButton()->click();
        rig.clock.advance(80ms);
        rig.popup.thinking("q2");
        rig.clock.advance(1s);
        QVERIFY(rig.popup.isShowing());
        QCOMPARE(rig.popup.panel()->windowOpacity(), 1.0);
        QCOMPARE(rig.popup.view()->headerText(), QStringLiteral("q2"));
    }

    void theCopyButtonCopiesTheCurrentAnswer()
    {
        Rig rig;
        rig.popup.answer("q", "第一个答案", QStringLiteral("gedit"));
        rig.popup.answer("q", "第二个答案", QStringLiteral("gedit"));
        QApplication::clipboard()->clear();
        rig.popup.view()->copyButton()->click();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("第二个答案"));
    }

    void insertingPastesIntoTheTargetAndCloses()
    {
        Rig rig;
        rig.popup.answer("q", "答案文本", QStringLiteral("gedit"));
        rig.popup.view()->actionButton()->click();
        QCOMPARE(rig.popup.view()->actionButton()->look(), Look::inserted);
        QCOMPARE(rig.popup.view()->actionButton()->title(), QStringLiteral("已插入"));
        QCOMPARE(rig.popup.view()->actionButton()->symbolName(), QStringLiteral("checkmark"));
        rig.clock.advance(399ms);
        QVERIFY(rig.popup.isShowing());
        rig.clock.advance(1ms + AnswerPopup::fadeDuration);
        QVERIFY(!rig.popup.isShowing());
        // Ctrl+V was typed into the target.
        QVERIFY(!rig.keys.events.isEmpty());
        QCOMPARE(rig.workspace.frontPid, 10);
    }

    void withoutAccessibilityTheAnswerGoesToTheClipboard()
    {
        Rig rig;
        rig.accessibility.trusted = false;
        rig.popup.answer("q", "留在剪贴板", QStringLiteral("gedit"));
        rig.popup.view()->actionButton()->click();
        AnswerActionButton* action = rig.popup.view()->actionButton();
        QCOMPARE(action->look(), Look::copiedInstead);
        QCOMPARE(action->title(), QStringLiteral("已复制 · 按 Ctrl+V 粘贴"));
        QCOMPARE(action->symbolName(), QStringLiteral("doc.on.doc"));
        QCOMPARE(rig.clipboard.text(), QStringLiteral("留在剪贴板"));
        QVERIFY(rig.keys.events.isEmpty());
        savePicture(rig.popup.panel(), "copied-instead");
        rig.clock.advance(5s);
        QVERIFY(rig.popup.isShowing());
    }

    void aTargetThatNeverComesForwardFallsBackToTheClipboard()
    {
        Rig rig;
        rig.workspace.activationDelay = -1;
        rig.popup.answer("q", "没送到", QStringLiteral("gedit"));
        rig.popup.view()->actionButton()->click();
        rig.clock.advance(2s);
        QCOMPARE(rig.popup.view()->actionButton()->look(), Look::copiedInstead);
        QVERIFY(rig.popup.isShowing());
        QCOMPARE(rig.clipboard.text(), QStringLiteral("没送到"));
    }

    void eachNewAnswerStartsWithThePlainInsertControl()
    {
        Rig rig;
        rig.accessibility.trusted = false;
        rig.popup.answer("q1", "a1", QStringLiteral("gedit"));
        rig.popup.view()->actionButton()->click();
        QCOMPARE(rig.popup.view()->actionButton()->look(), Look::copiedInstead);
        rig.popup.answer("q2", "a2", QStringLiteral("gedit"));
        QCOMPARE(rig.popup.view()->actionButton()->look(), Look::insert);
    }

    void aNewQuestionStopsTheCloseOfAnInsertedAnswer()
    {
        Rig rig;
        rig.popup.answer("q1", "a1", QStringLiteral("gedit"));
        rig.popup.view()->actionButton()->click();
        rig.clock.advance(100ms);
        rig.popup.thinking("q2");
        rig.clock.advance(2s);
        QVERIFY(rig.popup.isShowing());
        QCOMPARE(rig.popup.view()->headerText(), QStringLiteral("q2"));
    }

    void redrawsInEverySkin_data()
    {
        QTest::addColumn<int>("phase");
        QTest::newRow("thinking") << int(Phase::thinking);
        QTest::newRow("answer") << int(Phase::answer);
        QTest::newRow("failed") << int(Phase::failed);
    }
    void redrawsInEverySkin()
    {
        QFETCH(int, phase);
        Rig rig;
        if (phase == int(Phase::thinking))
            rig.popup.thinking("换个皮肤");
        else if (phase == int(Phase::answer))
            rig.popup.answer("换个皮肤", "答案写在这里，字要看得清。", QStringLiteral("gedit"));
        else
            rig.popup.failed("网络连接中断");
        AnswerView* view = rig.popup.view();
        QLabel* main = phase == int(Phase::thinking) ? view->thinkingRow()->findChild<QLabel*>()
                       : phase == int(Phase::answer) ? view->answerLabel()
                                                     : view->failureLabel();
        QVERIFY(main);
        for (const ThemePalette& palette : ThemePalette::all()) {
            for (bool dark : {false, true}) {
                Theme::setPalette(palette);
                Theme::setDark(dark);
                rig.popup.refreshTheme();
                // Pictures are taken of the settled card: new style sheets lay out on posted events.
                QCoreApplication::sendPostedEvents();
                const QImage image = rig.popup.panel()->grab().toImage();
                QVERIFY(!image.isNull());
                // The card's middle is painted in the skin's card colour, not left empty.
                QVERIFY(qAlpha(image.pixel(240, 190)) > 200);
                const QString label =
                    QStringLiteral("%1-%2-%3").arg(palette.id, dark ? "dark" : "light", QTest::currentDataTag());
                savePicture(rig.popup.panel(), label);
                // Its main text stands out from the card (WCAG: 4.5 for body text).
                const QRect area(main->mapTo(rig.popup.panel(), QPoint(0, 0)), main->size());
                const double contrast = TextContrast::strongestAgainst(image, area, Theme::color(palette.bgCard));
                QVERIFY2(contrast >= 4.5, qPrintable(label + QStringLiteral(": %1").arg(contrast)));
            }
        }
        Theme::setDark(false);
    }

    void withoutACompositorTheCardShowsAtOnce()
    {
        Rig rig;
        rig.compositing.active = false;
        rig.popup.thinking("q");
        QCOMPARE(rig.popup.panel()->windowOpacity(), 1.0);
        QVERIFY(!rig.popup.panel()->mask().isEmpty());
    }
};

MURMO_TEST(AnswerPopupTest)
#include "tst_AnswerPopup.moc"

#include "FeedbackFakes.h"
#include "app/feedback/OverlayCloseButton.h"
#include "app/feedback/OverlayPanel.h"
#include "app/feedback/OverlayRetryButton.h"
#include "app/feedback/OverlayView.h"
#include "app/feedback/RecordingOverlay.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace std::chrono_literals;
using Phase = OverlayModel::Phase;
using FailKind = OverlayModel::FailKind;
using Present = std::function<void(RecordingOverlay&)>;
Q_DECLARE_METATYPE(Present)
Q_DECLARE_METATYPE(OverlayModel::Phase)

namespace {

struct Rig
{
    ManualClock clock;
    FakeScreens screens;
    FakeCompositing compositing;
    RecordingOverlay overlay{clock, screens, compositing};

    bool showing() const { return overlay.isShowing(); }
    QRect frame() const { return overlay.panel()->geometry(); }
};

// Drags the panel by hand: press on its background, move by delta, release.
void drag(OverlayPanel& panel, QPoint delta)
{
    const QPointF local(20, 20);
    const QPointF start = QPointF(panel.pos()) + local;
    QMouseEvent press(QEvent::MouseButtonPress, local, start, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&panel, &press);
    QMouseEvent move(QEvent::MouseMove, local + delta, start + delta, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&panel, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, local + delta, start + delta, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&panel, &release);
}

} // namespace

class TestRecordingOverlay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listeningFrameOnAFullHdScreen()
    {
        Rig rig;
        QVERIFY(!rig.overlay.panel());
        rig.overlay.showListening();
        QVERIFY(rig.showing());
        QCOMPARE(rig.frame(), QRect(887, 924, 146, 60));
        const Qt::WindowFlags flags = rig.overlay.panel()->windowFlags();
        QVERIFY(flags.testFlag(Qt::Tool));
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(rig.overlay.panel()->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(rig.overlay.panel()->testAttribute(Qt::WA_TranslucentBackground));
        // It fades in from fully transparent.
        QVERIFY(rig.overlay.panel()->windowOpacity() < 0.5);
    }

    void placementFollowsTheActiveScreensUsableArea()
    {
        Rig rig;
        rig.screens.areas = {QRect(0, 32, 1920, 1048), QRect(1920, 0, 1280, 1024)};
        rig.screens.active = 1;
        rig.overlay.showProcessing();
        QCOMPARE(rig.frame(), QRect(1920 + 640 - 70, 1024 - 96 - 60, 140, 60));
        Rig fallback;
        fallback.screens.areas = {QRect(0, 32, 1920, 1048)};
        fallback.screens.active.reset();
        fallback.overlay.showListening();
        QCOMPARE(fallback.frame(), QRect(887, 1080 - 96 - 60, 146, 60));
    }

    void entryPointsSetPhaseAndSize_data()
    {
        QTest::addColumn<Present>("present");
        QTest::addColumn<Phase>("phase");
        QTest::addColumn<QSize>("size");
        QTest::newRow("listening") << Present([](RecordingOverlay& o) { o.showListening(); }) << Phase::listening
                                   << QSize(146, 60);
        QTest::newRow("translate") << Present([](RecordingOverlay& o) { o.showListening(Phase::listeningTranslate); })
                                   << Phase::listeningTranslate << QSize(146, 60);
        QTest::newRow("ask wins over translate")
            << Present([](RecordingOverlay& o) { o.showListening(Phase::listeningAsk); }) << Phase::listeningAsk
            << QSize(146, 60);
        QTest::newRow("rewrite wins over all")
            << Present([](RecordingOverlay& o) { o.showListening(Phase::listeningRewrite); }) << Phase::listeningRewrite
            << QSize(146, 60);
        QTest::newRow("processing") << Present([](RecordingOverlay& o) { o.showProcessing(); }) << Phase::processing
                                    << QSize(140, 60);
        QTest::newRow("inserted") << Present([](RecordingOverlay& o) { o.finish("好", true, std::nullopt); })
                                  << Phase::done << QSize(146, 60);
        QTest::newRow("copied") << Present([](RecordingOverlay& o) { o.finish("好", false, std::nullopt); })
                                << Phase::done << QSize(448, 86);
        QTest::newRow("fail") << Present([](RecordingOverlay& o) { o.fail("出错了"); }) << Phase::failed
                              << QSize(448, 86);
        QTest::newRow("failActionable") << Present([](RecordingOverlay& o) {
            o.failActionable(FailKind::styling, "整理失败");
        }) << Phase::failed << QSize(448, 86);
        QTest::newRow("note") << Present([](RecordingOverlay& o) { o.note("学会了", "甲 → 乙"); }) << Phase::note
                              << QSize(448, 86);
        QTest::newRow("cancelled") << Present([](RecordingOverlay& o) { o.showCancelled(); }) << Phase::cancelled
                                   << QSize(140, 60);
    }
    void entryPointsSetPhaseAndSize()
    {
        QFETCH(Present, present);
        QFETCH(Phase, phase);
        QFETCH(QSize, size);
        Rig rig;
        present(rig.overlay);
        QCOMPARE(rig.overlay.model()->phase(), phase);
        QCOMPARE(rig.frame().size(), size);
        // Centred, 96 above the bottom, whatever the size.
        QCOMPARE(rig.frame().center().x(), 959);
        QCOMPARE(rig.frame().bottom() + 1, 1080 - 96);
    }

    void entryPointsWriteTheirFields()
    {
        Rig rig;
        OverlayModel& m = *rig.overlay.model();
        rig.overlay.setRetrying(true);
        rig.overlay.finish(QStringLiteral("结果"), false, QStringLiteral("提示"));
        QCOMPARE(m.partial(), QStringLiteral("结果"));
        QCOMPARE(m.inserted(), false);
        QCOMPARE(m.copyHint(), QStringLiteral("提示"));
        QCOMPARE(m.retrying(), false);

        rig.overlay.note(QStringLiteral("标题"), QStringLiteral("副标题"));
        QCOMPARE(m.partial(), QStringLiteral("标题"));
        QCOMPARE(m.noteSubtitle(), QStringLiteral("副标题"));

        rig.overlay.failActionable(FailKind::styling, QStringLiteral("整理失败"));
        rig.overlay.setRetrying(true);
        // Listening touches nothing but phase and partial.
        rig.overlay.showListening();
        QCOMPARE(m.partial(), QString());
        QCOMPARE(m.retrying(), true);
        QCOMPARE(m.inserted(), false);
        QCOMPARE(m.copyHint(), QStringLiteral("提示"));
        QCOMPARE(m.noteSubtitle(), QStringLiteral("副标题"));
        QCOMPARE(m.failKind(), FailKind::styling);

        rig.overlay.setPartial(QStringLiteral("正在说"));
        QCOMPARE(m.partial(), QStringLiteral("正在说"));
    }

    void levelAndThemeRefresh()
    {
        Rig rig;
        QSignalSpy changed(rig.overlay.model(), &OverlayModel::changed);
        rig.overlay.setLevel(0.42f);
        QCOMPARE(rig.overlay.model()->levelSample, 0.42f);
        QCOMPARE(changed.count(), 0);
        rig.overlay.refreshTheme();
        QCOMPARE(changed.count(), 1);
    }

    void presentWhileVisibleSnapsBackAndResizes()
    {
        Rig rig;
        rig.overlay.showListening();
        rig.clock.advance(1000ms);
        rig.overlay.panel()->setWindowOpacity(0.3); // caught mid fade-out
        rig.overlay.showProcessing();
        QCOMPARE(rig.overlay.panel()->windowOpacity(), 1.0);
        QVERIFY(rig.showing());
        rig.clock.advance(200ms);
        QCOMPARE(rig.frame(), QRect(890, 924, 140, 60));
        // Our own moving and resizing is never taken for the user's drag.
        rig.overlay.panel()->move(10, 10);
        rig.overlay.failActionable(FailKind::asr, QStringLiteral("识别失败"));
        rig.clock.advance(200ms);
        QVERIFY(!rig.overlay.userDragged());
        QCOMPARE(rig.frame(), QRect(736, 898, 448, 86));
    }

    void hideTimings_data()
    {
        QTest::addColumn<Present>("present");
        QTest::addColumn<int>("goneAtMs");
        QTest::newRow("inserted: 0.5 hold + 0.4 fade")
            << Present([](RecordingOverlay& o) { o.finish("好", true, std::nullopt); }) << 900;
        QTest::newRow("copied: 0.5 hold + 4.0 fade")
            << Present([](RecordingOverlay& o) { o.finish("好", false, std::nullopt); }) << 4500;
        QTest::newRow("note: 0.5 hold + 3.0 fade")
            << Present([](RecordingOverlay& o) { o.note("学会了", ""); }) << 3500;
        QTest::newRow("fail: 3.5 + 0.2 fade") << Present([](RecordingOverlay& o) { o.fail("出错了"); }) << 3700;
        QTest::newRow("cancelled: 0.9 + 0.2 fade") << Present([](RecordingOverlay& o) { o.showCancelled(); }) << 1100;
    }
    void hideTimings()
    {
        QFETCH(Present, present);
        QFETCH(int, goneAtMs);
        for (bool compositor : {true, false}) {
            Rig rig;
            rig.compositing.active = compositor;
            present(rig.overlay);
            rig.clock.advance(std::chrono::milliseconds(goneAtMs - 1));
            QVERIFY(rig.showing());
            if (!compositor) // no fade can show: solid until the moment it goes
                QCOMPARE(rig.overlay.panel()->windowOpacity(), 1.0);
            rig.clock.advance(1ms);
            QVERIFY(!rig.showing());
            QCOMPARE(rig.overlay.panel()->windowOpacity(), 1.0);
        }
    }

    void actionableFailureStays()
    {
        Rig rig;
        rig.overlay.failActionable(FailKind::asr, QStringLiteral("识别失败"));
        rig.clock.advance(60s);
        QVERIFY(rig.showing());
        rig.overlay.showListening();
        rig.clock.advance(60s);
        QVERIFY(rig.showing());
    }

    void newerPresentationVoidsAPendingHide()
    {
        Rig rig;
        rig.overlay.fail(QStringLiteral("出错了"));
        rig.clock.advance(1000ms);
        rig.overlay.showListening();
        rig.clock.advance(10s);
        QVERIFY(rig.showing());
        QCOMPARE(rig.overlay.model()->phase(), Phase::listening);
    }

    void noteAfterFinishOwnsTheFade()
    {
        Rig rig;
        rig.overlay.finish(QStringLiteral("好"), true, std::nullopt);
        rig.clock.advance(300ms);
        rig.overlay.note(QStringLiteral("学会了"), QString());
        rig.clock.advance(700ms); // past the finish's own 0.9 s
        QVERIFY(rig.showing());
        QCOMPARE(rig.overlay.panel()->windowOpacity(), 1.0);
        rig.clock.advance(2799ms); // 3.5 s after the note, less 1 ms
        QVERIFY(rig.showing());
        rig.clock.advance(1ms);
        QVERIFY(!rig.showing());
    }

    void hideVoidsEverythingPending()
    {
        Rig rig;
        rig.overlay.fail(QStringLiteral("出错了"));
        const quint64 before = rig.overlay.fadeSeq();
        rig.overlay.hide();
        QCOMPARE(rig.overlay.fadeSeq(), before + 1);
        rig.clock.advance(200ms);
        QVERIFY(!rig.showing());
        // Hiding a hidden capsule still advances the generation and shows nothing.
        rig.overlay.hide();
        QCOMPARE(rig.overlay.fadeSeq(), before + 2);
        rig.clock.advance(10s);
        QVERIFY(!rig.showing());
    }

    void closeButtonHidesUnlessDismissIsSet()
    {
        Rig rig;
        rig.overlay.failActionable(FailKind::asr, QStringLiteral("识别失败"));
        QTest::mouseClick(rig.overlay.view()->closeButton(), Qt::LeftButton);
        rig.clock.advance(199ms);
        QVERIFY(rig.showing());
        rig.clock.advance(1ms);
        QVERIFY(!rig.showing());

        QSignalSpy dismissed(&rig.overlay, &RecordingOverlay::dismissRequested);
        rig.overlay.failActionable(FailKind::asr, QStringLiteral("识别失败"));
        QTest::mouseClick(rig.overlay.view()->closeButton(), Qt::LeftButton);
        rig.clock.advance(1s);
        QCOMPARE(dismissed.count(), 1);
        QVERIFY(rig.showing());
    }

    void retryRunsTheStoredRetry()
    {
        Rig rig;
        int retries = 0;
        connect(&rig.overlay, &RecordingOverlay::retryRequested, this, [&] {
            rig.overlay.setRetrying(true);
            ++retries;
        });
        rig.overlay.failActionable(FailKind::styling, QStringLiteral("整理失败"));
        OverlayView* view = rig.overlay.view();
        QVERIFY(view->retryButton()->isVisibleTo(view));
        QTest::mouseClick(view->retryButton(), Qt::LeftButton);
        QCOMPARE(retries, 1);
        QVERIFY(rig.overlay.model()->retrying());
        QVERIFY(!view->retryButton()->isVisibleTo(view));
        rig.overlay.finish(QStringLiteral("整理好了"), true, std::nullopt);
        QVERIFY(!rig.overlay.model()->retrying());
    }

    void plainFailureOffersNoStaleRetry()
    {
        Rig rig;
        QSignalSpy retries(&rig.overlay, &RecordingOverlay::retryRequested);
        rig.overlay.failActionable(FailKind::styling, QStringLiteral("整理失败"));
        rig.overlay.fail(QStringLiteral("麦克风不可用"));
        OverlayModel& m = *rig.overlay.model();
        QCOMPARE(m.failKind(), FailKind::asr);
        QVERIFY(!m.retryOffered());
        OverlayView* view = rig.overlay.view();
        // Even a press that reaches the hidden button retries nothing.
        Q_EMIT view->retryClicked();
        QVERIFY(!view->retryButton()->isVisibleTo(view));
        QVERIFY(view->closeButton()->isVisibleTo(view));
        QCOMPARE(view->subtitle(), QStringLiteral("未完成"));
        QCOMPARE(retries.count(), 0);
    }

    void dragKeepsTheBottomLeftCorner()
    {
        Rig rig;
        rig.screens.areas = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
        rig.overlay.showListening();
        drag(*rig.overlay.panel(), QPoint(-300, -200));
        QCOMPARE(rig.frame().topLeft(), QPoint(587, 724));
        QVERIFY(rig.overlay.userDragged());
        QCOMPARE(rig.overlay.userOrigin(), QPoint(587, 784));

        rig.overlay.showProcessing();
        rig.clock.advance(200ms);
        QCOMPARE(rig.frame(), QRect(587, 724, 140, 60));
        rig.overlay.failActionable(FailKind::asr, QStringLiteral("识别失败"));
        rig.clock.advance(200ms);
        // Grows right and up from the same corner.
        QCOMPARE(rig.frame(), QRect(587, 784 - 86, 448, 86));

        // Another application becoming active elsewhere does not move a dragged capsule.
        rig.overlay.showListening();
        rig.clock.advance(200ms);
        rig.screens.active = 1;
        rig.overlay.followActiveScreen();
        rig.clock.advance(1s);
        QCOMPARE(rig.frame(), QRect(587, 724, 146, 60));
    }

    void lostScreenForgetsTheDrag()
    {
        Rig rig;
        rig.screens.areas = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)};
        rig.overlay.showListening();
        drag(*rig.overlay.panel(), QPoint(2000, 0));
        QVERIFY(rig.overlay.userDragged());
        rig.overlay.hide();
        rig.clock.advance(200ms);
        rig.screens.areas = {QRect(0, 0, 1920, 1080)};
        rig.overlay.showListening();
        QCOMPARE(rig.frame(), QRect(887, 924, 146, 60));
        QVERIFY(!rig.overlay.userDragged());
        QCOMPARE(rig.overlay.userOrigin(), std::nullopt);
    }

    void followsTheActiveScreenWhileListening_data()
    {
        QTest::addColumn<Present>("present");
        QTest::addColumn<bool>("follows");
        QTest::newRow("listening") << Present([](RecordingOverlay& o) { o.showListening(Phase::listeningAsk); })
                                   << true;
        QTest::newRow("processing") << Present([](RecordingOverlay& o) { o.showProcessing(); }) << true;
        QTest::newRow("done") << Present([](RecordingOverlay& o) { o.finish("好", false, std::nullopt); }) << false;
        QTest::newRow("failed") << Present([](RecordingOverlay& o) { o.failActionable(FailKind::asr, "x"); }) << false;
        QTest::newRow("cancelled") << Present([](RecordingOverlay& o) { o.showCancelled(); }) << false;
        QTest::newRow("note") << Present([](RecordingOverlay& o) { o.note("n", ""); }) << false;
    }
    void followsTheActiveScreenWhileListening()
    {
        QFETCH(Present, present);
        QFETCH(bool, follows);
        Rig rig;
        rig.screens.areas = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        present(rig.overlay);
        const QRect before = rig.frame();
        rig.screens.active = 1;
        rig.overlay.followActiveScreen();
        rig.clock.advance(59ms);
        QCOMPARE(rig.frame(), before);
        rig.clock.advance(1ms + 180ms);
        if (follows) {
            QCOMPARE(rig.frame().size(), before.size());
            QCOMPARE(rig.frame().center().x(), 1920 + 640 - 1);
            QCOMPARE(rig.frame().bottom() + 1, 1024 - 96);
            QVERIFY(!rig.overlay.userDragged());
        } else {
            QCOMPARE(rig.frame(), before);
        }
    }

    void withoutCompositorTheWindowIsCutToTheCapsule()
    {
        Rig rig;
        rig.compositing.active = false;
        rig.overlay.showListening();
        OverlayPanel* panel = rig.overlay.panel();
        QVERIFY(!panel->testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(panel->windowOpacity(), 1.0);
        const QRegion mask = panel->mask();
        QVERIFY(!mask.isEmpty());
        QVERIFY(mask.contains(QPoint(73, 30)));
        QVERIFY(!mask.contains(QPoint(2, 2)));
        QVERIFY(!mask.contains(QPoint(15, 15))); // the capsule's rounded end
    }
};

MURMO_TEST(TestRecordingOverlay)
#include "tst_RecordingOverlay.moc"

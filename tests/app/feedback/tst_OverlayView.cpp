#include "app/feedback/LiveWaveform.h"
#include "app/feedback/OverlayCloseButton.h"
#include "app/feedback/OverlayRetryButton.h"
#include "app/feedback/OverlayView.h"
#include "app/feedback/RecordingOverlay.h"
#include "app/ui/BusySpinner.h"
#include "app/ui/CopyIconButton.h"
#include "app/ui/Theme.h"
#include "tests/app/feedback/TextContrast.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFontMetricsF>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using Phase = OverlayModel::Phase;
using FailKind = OverlayModel::FailKind;
using Row = OverlayView::Row;

namespace {

struct Case
{
    const char* name;
    std::function<void(OverlayModel&)> setup;
    Row row;
    QString symbol;
    std::optional<QString> subtitle;
    // Which of waveform, spinner, copy, retry, close are visible.
    QString controls;
};

void failWith(OverlayModel& m, FailKind kind, bool offered, bool retrying)
{
    m.setPhase(Phase::failed);
    m.setFailKind(kind);
    m.setRetryOffered(offered);
    m.setPartial(QStringLiteral("网络连接中断，录音已保存"));
    m.setRetrying(retrying);
}

QList<Case> cases()
{
    return {
        {"listening", [](OverlayModel& m) { m.setPhase(Phase::listening); }, Row::listening, "mic.fill", std::nullopt,
         "waveform"},
        {"listeningTranslate", [](OverlayModel& m) { m.setPhase(Phase::listeningTranslate); }, Row::listening,
         "translate", std::nullopt, "waveform"},
        {"listeningAsk", [](OverlayModel& m) { m.setPhase(Phase::listeningAsk); }, Row::listening, "sparkles",
         std::nullopt, "waveform"},
        {"listeningRewrite", [](OverlayModel& m) { m.setPhase(Phase::listeningRewrite); }, Row::listening,
         "pencil.line", std::nullopt, "waveform"},
        {"processing", [](OverlayModel& m) { m.setPhase(Phase::processing); }, Row::processing, "", std::nullopt,
         "spinner"},
        {"doneInserted",
         [](OverlayModel& m) {
             m.setPhase(Phase::done);
             m.setInserted(true);
             m.setPartial(QStringLiteral("今天下午三点开会。"));
         },
         Row::compactDone, "checkmark.circle.fill", QStringLiteral("已插入"), ""},
        {"doneCopied",
         [](OverlayModel& m) {
             m.setPhase(Phase::done);
             m.setInserted(false);
             m.setPartial(QStringLiteral("今天下午三点开会，请大家准时参加。"));
         },
         Row::result, "doc.on.clipboard.fill", QStringLiteral("已复制 · 按 Ctrl+V 粘贴"), "copy"},
        {"doneCopiedHint",
         [](OverlayModel& m) {
             m.setPhase(Phase::done);
             m.setInserted(false);
             m.setCopyHint(QStringLiteral("没有可输入的位置 · 已复制"));
             m.setPartial(QStringLiteral("Meeting at three."));
         },
         Row::result, "doc.on.clipboard.fill", QStringLiteral("没有可输入的位置 · 已复制"), "copy"},
        {"failedPlain", [](OverlayModel& m) { failWith(m, FailKind::asr, false, false); }, Row::result,
         "exclamationmark.triangle.fill", QStringLiteral("未完成"), "close"},
        {"failedAsr", [](OverlayModel& m) { failWith(m, FailKind::asr, true, false); }, Row::result,
         "exclamationmark.triangle.fill", QStringLiteral("未完成"), "retry close"},
        {"failedStyling", [](OverlayModel& m) { failWith(m, FailKind::styling, true, false); }, Row::result,
         "exclamationmark.triangle.fill", QStringLiteral("原话已上屏 · 整理未成"), "retry close"},
        {"failedRetrying", [](OverlayModel& m) { failWith(m, FailKind::styling, true, true); }, Row::result,
         "exclamationmark.triangle.fill", QStringLiteral("原话已上屏 · 整理未成"), "spinner"},
        {"cancelled", [](OverlayModel& m) { m.setPhase(Phase::cancelled); }, Row::compactCancelled, "xmark.circle.fill",
         std::nullopt, ""},
        {"note",
         [](OverlayModel& m) {
             m.setPhase(Phase::note);
             m.setPartial(QStringLiteral("学会了一条新规则"));
             m.setNoteSubtitle(QStringLiteral("模型 → 魔音"));
         },
         Row::result, "checkmark.seal.fill", QStringLiteral("模型 → 魔音"), ""},
        {"noteWithoutSubtitle",
         [](OverlayModel& m) {
             m.setPhase(Phase::note);
             m.setPartial(QStringLiteral("词库已同步"));
         },
         Row::result, "checkmark.seal.fill", std::nullopt, ""},
    };
}

QString visibleControls(const OverlayView& view)
{
    QStringList names;
    if (view.waveform()->isVisibleTo(&view))
        names << "waveform";
    if (view.spinner()->isVisibleTo(&view))
        names << "spinner";
    if (view.copyButton()->isVisibleTo(&view))
        names << "copy";
    if (view.retryButton()->isVisibleTo(&view))
        names << "retry";
    if (view.closeButton()->isVisibleTo(&view))
        names << "close";
    return names.join(' ');
}

QString outputDir()
{
    const QString root = qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath() + "/murmo-test-output");
    const QString dir = root + "/overlay";
    QDir().mkpath(dir);
    return dir;
}

} // namespace

class TestOverlayView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
    }

    void everyPhaseInEverySkin()
    {
        const QString dir = outputDir();
        int written = 0;
        for (const Case& c : cases()) {
            for (const ThemePalette& palette : ThemePalette::all()) {
                for (bool dark : {false, true}) {
                    const QString label = QStringLiteral("%1-%2-%3").arg(palette.id, dark ? "dark" : "light", c.name);
                    Theme::setPalette(palette);
                    Theme::setDark(dark);
                    ManualClock clock;
                    OverlayModel model;
                    c.setup(model);
                    OverlayView view(&model, clock);
                    view.resize(RecordingOverlay::sizeForPhase(model.phase(), model.inserted()));
                    view.show();
                    // Pictures are taken of the settled widget, not of one halfway through.
                    QCoreApplication::sendPostedEvents();

                    QCOMPARE(view.row(), c.row);
                    QCOMPARE(view.leadingSymbol(), c.symbol);
                    if (c.row == Row::result)
                        QCOMPARE(view.subtitle(), c.subtitle);
                    QVERIFY2(visibleControls(view) == c.controls, qPrintable(label + ": " + visibleControls(view)));
                    QCOMPARE(view.capsuleRect(), QRectF(view.rect()).adjusted(14, 14, -14, -14));

                    // Every visible control lies inside the capsule, and the trailing one ends
                    // at the capsule's inner margin.
                    const QRectF capsule = view.capsuleRect();
                    qreal trailingRight = -1;
                    for (QWidget* w : view.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                        if (!w->isVisibleTo(&view))
                            continue;
                        QVERIFY2(capsule.contains(QRectF(w->geometry())), qPrintable(label));
                        trailingRight = std::max<qreal>(trailingRight, w->geometry().right() + 1);
                    }
                    if (c.controls.contains("copy") || c.controls.contains("close"))
                        QCOMPARE(trailingRight, capsule.right() - 14);

                    const QImage image = view.grab().toImage();
                    QVERIFY(image.save(QStringLiteral("%1/%2.png").arg(dir, label)));
                    ++written;
                    // Outside the capsule and its shadow the window stays clear; the glass is
                    // mostly opaque.
                    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
                    QVERIFY(qAlpha(image.pixel(int(capsule.left()) + 6, int(capsule.center().y()))) > 200);
                    QCOMPARE(view.phaseTint().alpha() > 0, c.row == Row::listening);

                    // The main text stands out from the card (WCAG: 4.5 for body text). The
                    // rows' outer pixels hold the glass rim, which is not text.
                    QCOMPARE(view.textRect().isEmpty(), c.row == Row::listening);
                    if (!view.textRect().isEmpty()) {
                        const QRect area =
                            view.textRect().toAlignedRect() & capsule.adjusted(4, 4, -4, -4).toAlignedRect();
                        const double contrast =
                            TextContrast::strongestAgainst(image, area, Theme::color(palette.bgCard));
                        QVERIFY2(contrast >= 4.5, qPrintable(label + QStringLiteral(": %1").arg(contrast)));
                    }
                }
            }
        }
        QCOMPARE(written, 15 * 4 * 2);
    }

    void opaqueCapsuleWithoutCompositor()
    {
        ManualClock clock;
        OverlayModel model;
        model.setPhase(Phase::processing);
        OverlayView view(&model, clock);
        view.resize(140, 60);
        view.setOpaqueCapsule(true);
        const QImage image = view.grab().toImage();
        QVERIFY(image.save(outputDir() + "/xuan-light-processing-opaque.png"));
        QCOMPARE(qAlpha(image.pixel(70, 30)), 255);
    }

    void longTextWrapsToTwoLinesWithinThePanel()
    {
        ManualClock clock;
        OverlayModel model;
        model.setPhase(Phase::done);
        model.setInserted(false);
        QString text;
        for (int i = 0; i < 12; ++i)
            text += QStringLiteral("这是一段很长的听写结果，");
        model.setPartial(text);
        OverlayView view(&model, clock);
        view.resize(448, 86);
        const QStringList lines = view.partialLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(1).endsWith(QChar(0x2026)));
        QVERIFY(text.startsWith(lines.at(0)));
        QCOMPARE(view.width(), 448);
        QVERIFY(view.copyButton()->isVisibleTo(&view));
        QVERIFY(view.grab().toImage().save(outputDir() + "/xuan-light-doneCopied-long.png"));

        model.setPartial(QStringLiteral("短句"));
        QCOMPARE(view.partialLines(), QStringList({"短句"}));
    }

    void subtitleFollowsTheModel()
    {
        ManualClock clock;
        OverlayModel model;
        OverlayView view(&model, clock);
        view.resize(448, 86);
        failWith(model, FailKind::asr, true, false);
        QCOMPARE(view.subtitle(), QStringLiteral("未完成"));
        QCOMPARE(view.retryButton()->title(), QStringLiteral("重试"));
        model.setFailKind(FailKind::styling);
        QCOMPARE(view.subtitle(), QStringLiteral("原话已上屏 · 整理未成"));
        QCOMPARE(view.retryButton()->title(), QStringLiteral("重试整理"));
        model.setRetrying(true);
        QVERIFY(!view.retryButton()->isVisibleTo(&view));
        QVERIFY(!view.closeButton()->isVisibleTo(&view));
        QVERIFY(view.spinner()->isVisibleTo(&view));
        model.setPhase(Phase::processing);
        QCOMPARE(view.subtitle(), std::nullopt);
        QCOMPARE(view.compactText(), QStringLiteral("整理中"));
    }

    void buttonsReportTheirTaps()
    {
        ManualClock clock;
        OverlayModel model;
        OverlayView view(&model, clock);
        view.resize(448, 86);
        failWith(model, FailKind::asr, true, false);
        QSignalSpy retry(&view, &OverlayView::retryClicked);
        QSignalSpy close(&view, &OverlayView::closeClicked);
        QTest::mouseClick(view.retryButton(), Qt::LeftButton);
        QCOMPARE(retry.count(), 1);
        QCOMPARE(close.count(), 0);
        QTest::mouseClick(view.closeButton(), Qt::LeftButton);
        QCOMPARE(close.count(), 1);
        QCOMPARE(view.retryButton()->toolTip(), QStringLiteral("原地重试"));
        QCOMPARE(view.retryButton()->accessibleName(), QStringLiteral("原地重试"));
        QCOMPARE(view.closeButton()->toolTip(), QStringLiteral("关闭"));

        model.setPhase(Phase::done);
        model.setInserted(false);
        model.setPartial(QStringLiteral("要复制的结果"));
        QCOMPARE(view.copyButton()->toolTip(), QStringLiteral("复制"));
        QTest::mouseClick(view.copyButton(), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("要复制的结果"));
        // Nothing in the capsule can take the keyboard focus.
        for (QWidget* w : view.findChildren<QWidget*>())
            QCOMPARE(w->focusPolicy(), Qt::NoFocus);
    }

    // The capsule's layers are drawn once and kept: a kept view must show what a new one shows
    // after the appearance, the skin, the action or the size changed.
    void keptCapsuleFollowsWhatItShows()
    {
        ManualClock clock;
        OverlayModel model;
        OverlayView kept(&model, clock);
        kept.resize(146, 60);
        kept.show();
        auto capsulePixels = [](OverlayView& view) {
            const QImage image = view.grab().toImage();
            const QRectF capsule = view.capsuleRect();
            // The tinted border at the top, the glass beside the symbol, the shadow below.
            return QList<QRgb>{image.pixel(int(capsule.center().x()), int(capsule.top())),
                               image.pixel(int(capsule.left()) + 6, int(capsule.center().y())),
                               image.pixel(int(capsule.center().x()), int(capsule.bottom()) + 2)};
        };
        const QList<QRgb> first = capsulePixels(kept);
        const QList<std::function<void()>> changes{
            [] { Theme::setDark(true); },
            [] { Theme::setPalette(ThemePalette::all().last()); },
            [&] { model.setPhase(Phase::listeningTranslate); },
            [&] { kept.resize(170, 60); },
        };
        for (const auto& change : changes) {
            change();
            OverlayView fresh(&model, clock);
            fresh.resize(kept.size());
            fresh.show();
            QCOMPARE(capsulePixels(kept), capsulePixels(fresh));
        }
        QVERIFY(capsulePixels(kept) != first);
    }

    void switchingActionSwapsTheSymbol()
    {
        ManualClock clock;
        OverlayModel model;
        OverlayView view(&model, clock);
        view.resize(146, 60);
        view.show();
        const QImage mic = view.grab().toImage();
        model.setPhase(Phase::listeningTranslate);
        QCOMPARE(view.leadingSymbol(), QStringLiteral("translate"));
        QVERIFY(view.waveform()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(view.grab().toImage() != mic, 20000);
    }
};

MURMO_TEST(TestOverlayView)
#include "tst_OverlayView.moc"

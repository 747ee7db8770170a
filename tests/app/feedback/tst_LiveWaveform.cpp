#include "app/feedback/LiveWaveform.h"
#include "app/ui/Theme.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <limits>

using namespace std::chrono_literals;
using Phase = OverlayModel::Phase;

namespace {

// Renders one frame ten times larger than life, so heights can be measured to a tenth of a pixel.
constexpr int zoom = 10;

QImage render(const LiveWaveform& waveform, std::chrono::milliseconds now)
{
    QImage image(64 * zoom, 20 * zoom, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(zoom, zoom);
    waveform.paintFrame(painter, QSizeF(64, 20), now);
    return image;
}

// The opaque run of a column: first row and count of rows with alpha above half.
std::pair<int, int> opaqueRun(const QImage& image, int x)
{
    int first = -1;
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        if (qAlpha(image.pixel(x, y)) > 128) {
            if (first < 0)
                first = y;
            ++count;
        }
    }
    return {first, count};
}

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 1 && std::abs(a.green() - b.green()) <= 1 &&
           std::abs(a.blue() - b.blue()) <= 1;
}

} // namespace

class TestLiveWaveform : public QObject
{
    Q_OBJECT

    // Feeds `count` samples of `level`, one per interval, starting one interval after `from`.
    static std::chrono::milliseconds feed(LiveWaveform& waveform, OverlayModel& model, float level, int count,
                                          std::chrono::milliseconds from)
    {
        model.levelSample = level;
        auto t = from;
        for (int i = 0; i < count; ++i) {
            t += LiveWaveform::interval;
            waveform.advance(t);
        }
        return t;
    }

private Q_SLOTS:
    void init()
    {
        Theme::setPalette(ThemePalette::xuan());
        Theme::setDark(false);
    }

    void firstListeningFrameStartsCleanInFullGold()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        model.levelSample = 0.8f;
        waveform.advance(0ms);
        for (float bar : waveform.bars())
            QCOMPARE(bar, 0.0f);
        QCOMPARE(waveform.smoothed(), 0.0f);
        const auto& grad = waveform.currentGradient();
        QCOMPARE(grad.size(), std::size_t(3));
        QCOMPARE(grad[0].name(), QStringLiteral("#b87400"));
        QCOMPARE(grad[1].name(), QStringLiteral("#f2ae0a"));
        QCOMPARE(grad[2].name(), QStringLiteral("#ffd445"));
        QCOMPARE(waveform.currentGlow().name(), QStringLiteral("#f2ae0a"));
    }

    void samplesOnlyOnceAnIntervalHasPassed()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        model.levelSample = 1.0f;
        waveform.advance(0ms);
        waveform.advance(44ms);
        QCOMPARE(waveform.smoothed(), 0.0f);
        waveform.advance(45ms);
        QCOMPARE(waveform.smoothed(), 0.35f);
        QCOMPARE(waveform.lastSample(), 45ms);
        // The next sample counts from the frame that took the last one, not from a fixed grid.
        waveform.advance(100ms);
        QCOMPARE(waveform.lastSample(), 100ms);
        waveform.advance(144ms);
        QCOMPARE(waveform.lastSample(), 100ms);
        waveform.advance(145ms);
        QCOMPARE(waveform.lastSample(), 145ms);
    }

    void smoothingFollowsTheLevel()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        model.levelSample = 1.0f;
        const float expected[] = {0.35f, 0.5775f, 0.725375f, 0.82149375f};
        auto t = 0ms;
        for (float e : expected) {
            t += 45ms;
            waveform.advance(t);
            QVERIFY2(std::abs(waveform.smoothed() - e) < 1e-6f, qPrintable(QString::number(waveform.smoothed())));
            QCOMPARE(waveform.bars().back(), waveform.smoothed());
        }
        // Silence decays it by the same factor.
        model.levelSample = 0.0f;
        waveform.advance(t + 45ms);
        QVERIFY(std::abs(waveform.smoothed() - 0.82149375f * 0.65f) < 1e-6f);
        QCOMPARE(waveform.bars().size(), std::size_t(26));
    }

    void levelsAreClamped_data()
    {
        QTest::addColumn<float>("level");
        QTest::addColumn<float>("smoothed");
        QTest::newRow("above one") << 1.7f << 0.35f;
        QTest::newRow("exactly one") << 1.0f << 0.35f;
        QTest::newRow("negative") << -0.2f << 0.0f;
        QTest::newRow("nan") << std::numeric_limits<float>::quiet_NaN() << 0.0f;
        QTest::newRow("infinite") << std::numeric_limits<float>::infinity() << 0.35f;
        QTest::newRow("half") << 0.5f << 0.175f;
    }
    void levelsAreClamped()
    {
        QFETCH(float, level);
        QFETCH(float, smoothed);
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        model.levelSample = level;
        waveform.advance(45ms);
        QCOMPARE(waveform.smoothed(), smoothed);
        QCOMPARE(waveform.bars().back(), smoothed);
    }

    void historyShiftsOldestOut()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        auto t = feed(waveform, model, 1.0f, 26, 0ms);
        const auto before = waveform.bars();
        QVERIFY(before[0] > 0.0f);
        feed(waveform, model, 1.0f, 1, t);
        const auto after = waveform.bars();
        for (int i = 0; i < 25; ++i)
            QCOMPARE(after[std::size_t(i)], before[std::size_t(i + 1)]);
        QVERIFY(after[25] > before[25]);
    }

    void sampleLooksUpByRelativePosition()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        // Rising levels make every entry distinct.
        feed(waveform, model, 1.0f, 26, 0ms);
        const auto& bars = waveform.bars();
        QCOMPARE(waveform.sample(0.0), bars[0]);
        QCOMPARE(waveform.sample(0.5), bars[12]);
        QCOMPARE(waveform.sample(1.0), bars[25]);
        QCOMPARE(waveform.sample(0.999), bars[24]);
        QCOMPARE(waveform.sample(-0.5), bars[0]);
        QCOMPARE(waveform.sample(7.0), bars[25]);
    }

    void reenteringListeningRestarts()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        auto t = feed(waveform, model, 0.9f, 10, 0ms);
        QVERIFY(waveform.smoothed() > 0.5f);

        model.setPhase(Phase::processing);
        t += 16ms;
        waveform.advance(t);
        model.setPhase(Phase::listening);
        t += 16ms;
        waveform.advance(t);
        for (float bar : waveform.bars())
            QCOMPARE(bar, 0.0f);
        QCOMPARE(waveform.smoothed(), 0.0f);
    }

    void switchingActionKeepsHistoryAndFades()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        auto t = feed(waveform, model, 0.6f, 5, 0ms);
        const auto history = waveform.bars();

        model.setPhase(Phase::listeningTranslate);
        t += 16ms;
        waveform.advance(t);
        QCOMPARE(waveform.bars(), history);
        // One frame moves 18% of the way from gold (#B87400) to teal (#00998C).
        QVERIFY(near(waveform.currentGradient()[0], QColor(151, 123, 25)));
        QVERIFY(waveform.currentGradient()[0] != QColor("#00998c"));
        for (int i = 0; i < 60; ++i) {
            t += 16ms;
            waveform.advance(t);
        }
        QVERIFY(near(waveform.currentGradient()[0], QColor("#00998c")));
        QVERIFY(near(waveform.currentGlow(), QColor("#1abfab")));

        // Teal to violet: the renderer changes at once, the colours fade.
        const auto translated = waveform.bars();
        const QImage line = render(waveform, t);
        model.setPhase(Phase::listeningAsk);
        const QImage dots = render(waveform, t);
        QVERIFY(line != dots);
        t += 16ms;
        waveform.advance(t);
        // teal #00998C towards violet #6E54DE
        QVERIFY(near(waveform.currentGradient()[0], QColor(20, 141, 155)));
        QCOMPARE(waveform.bars(), translated);
    }

    void flowPhaseAdvancesPerFrame()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        for (int i = 1; i <= 10; ++i)
            waveform.advance(std::chrono::milliseconds(i));
        QVERIFY(std::abs(waveform.flowPhase() - 1.6) < 1e-9);
    }

    void barHeights()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        // Silent bars keep a minimum height of 2.8, centred.
        auto [top0, height0] = opaqueRun(render(waveform, 0ms), 526);
        QVERIFY2(std::abs(height0 - 28) <= 2, qPrintable(QString::number(height0)));
        QVERIFY(std::abs(top0 - 86) <= 2);

        // Full level: 0.86 of the height, centred.
        auto t = feed(waveform, model, 1.0f, 80, 0ms);
        QCOMPARE(waveform.bars()[20], 1.0f);
        auto [top1, height1] = opaqueRun(render(waveform, t), 526);
        QVERIFY2(std::abs(height1 - 172) <= 2, qPrintable(QString::number(height1)));
        QVERIFY(std::abs(top1 - 14) <= 2);
    }

    void scrollSlidesBetweenSamples()
    {
        ManualClock clock;
        OverlayModel model;
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        const auto t = feed(waveform, model, 0.7f, 30, 0ms);
        const QImage atSample = render(waveform, t);
        // A date before the last sample counts as no scroll at all.
        QCOMPARE(render(waveform, t - 20ms), atSample);
        const QImage halfway = render(waveform, t + 22ms);
        QVERIFY(halfway != atSample);
        // A full interval later every bar has moved one spacing left: bar 21 stands where bar 22
        // stood (bars of equal height by now).
        const QImage full = render(waveform, t + 45ms);
        const int spacing = int(std::lround((64 - 2.2) / 24 * zoom));
        QCOMPARE(opaqueRun(full, 526 - spacing), opaqueRun(atSample, 526));
    }

    void translateLineMeetsMidHeightAtBothEnds()
    {
        for (float level : {0.0f, 0.5f, 1.0f}) {
            ManualClock clock;
            OverlayModel model;
            model.setPhase(Phase::listeningTranslate);
            LiveWaveform waveform(&model, clock);
            waveform.advance(0ms);
            const auto t = feed(waveform, model, level, 30, 0ms);
            const QImage image = render(waveform, t);
            for (int x : {2, 64 * zoom - 3}) {
                const auto [top, height] = opaqueRun(image, x);
                QVERIFY2(height > 0, "the line reaches the edge");
                const int centre = top + height / 2;
                QVERIFY2(std::abs(centre - 100) <= 3, qPrintable(QStringLiteral("%1 at x=%2").arg(centre).arg(x)));
            }
        }
    }

    void dotsSitAtQuarters()
    {
        ManualClock clock;
        OverlayModel model;
        model.setPhase(Phase::listeningRewrite);
        LiveWaveform waveform(&model, clock);
        waveform.advance(0ms);
        const QImage image = render(waveform, 0ms);
        for (int k = 1; k <= 3; ++k)
            QVERIFY(qAlpha(image.pixel(16 * k * zoom, 10 * zoom)) > 100);
        // Between the dots there is nothing but glow.
        QVERIFY(qAlpha(image.pixel(24 * zoom, 10 * zoom)) < 80);
        QVERIFY(qAlpha(image.pixel(16 * zoom, 1 * zoom)) == 0);
    }
};

MURMO_TEST(TestLiveWaveform)
#include "tst_LiveWaveform.moc"

#pragma once

#include "app/feedback/OverlayModel.h"

#include <QColor>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <vector>

class Clock;
class QPainter;

// The small live level display of the listening capsule: scrolling bars while dictating, a
// flowing line while translating, three pulsing dots while asking or rewriting. It samples the
// model's level on its own frame clock, so level updates never repaint anything by themselves.
class LiveWaveform : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barCount = 26;
    static constexpr std::chrono::milliseconds interval{45};
    static constexpr QSize frameSize{64, 20};

    LiveWaveform(OverlayModel* model, Clock& clock, QWidget* parent = nullptr);

    // One animation frame at time `now` (the frame clock's date).
    void advance(std::chrono::milliseconds now);
    // Draws the frame for time `now` into a canvas of the given size.
    void paintFrame(QPainter& painter, const QSizeF& size, std::chrono::milliseconds now) const;

    // The bar value at relative position t (0 = oldest, 1 = newest).
    float sample(double t) const;

    const std::array<float, barCount>& bars() const { return m_bars; }
    float smoothed() const { return m_smoothed; }
    std::chrono::milliseconds lastSample() const { return m_lastSample; }
    double flowPhase() const { return m_flowPhase; }
    const std::vector<QColor>& currentGradient() const { return m_curGrad; }
    QColor currentGlow() const { return m_curGlow; }

    struct Target
    {
        std::vector<QColor> grad;
        QColor glow;
    };
    // The colours of the model's current action in the current skin and appearance.
    Target targetPalette() const;

    QSize sizeHint() const override { return frameSize; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    double scrollAt(std::chrono::milliseconds now) const;
    void drawBars(QPainter& painter, const QSizeF& size, double scroll) const;
    void drawLine(QPainter& painter, const QSizeF& size) const;
    void drawDots(QPainter& painter, const QSizeF& size) const;
    QLinearGradient shading(const QRectF& rect, qreal opacity) const;
    QColor glowColour() const;
    void onFrame();

    QPointer<OverlayModel> m_model;
    Clock& m_clock;
    QTimer m_frames;
    std::array<float, barCount> m_bars{};
    float m_smoothed = 0.0f;
    std::chrono::milliseconds m_lastSample;
    std::chrono::milliseconds m_frameTime;
    double m_flowPhase = 0.0;
    std::vector<QColor> m_curGrad;
    QColor m_curGlow;
    OverlayModel::Phase m_prevPhase = OverlayModel::Phase::done;
};

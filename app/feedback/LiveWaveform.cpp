#include "app/feedback/LiveWaveform.h"

#include "app/ui/Theme.h"
#include "platform/Clock.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal barWidth = 2.2;
constexpr qreal minBarHeight = 2.8;
constexpr qreal colourFade = 0.18;
constexpr double flowStep = 0.16;
constexpr float smoothing = 0.35f;
// The frame clock ticks at the display's usual 60 Hz.
constexpr int frameMs = 16;

QColor withOpacity(QColor c, qreal opacity)
{
    c.setAlphaF(float(std::clamp(opacity, 0.0, 1.0)));
    return c;
}

// What top laid over bottom shows, as one colour.
QColor over(const QColor& top, const QColor& bottom)
{
    const float a = top.alphaF() + bottom.alphaF() * (1.0f - top.alphaF());
    if (a <= 0.0f)
        return QColor::fromRgbF(0, 0, 0, 0);
    auto channel = [&](float t, float b) {
        return (t * top.alphaF() + b * bottom.alphaF() * (1.0f - top.alphaF())) / a;
    };
    return QColor::fromRgbF(channel(top.redF(), bottom.redF()), channel(top.greenF(), bottom.greenF()),
                            channel(top.blueF(), bottom.blueF()), a);
}

} // namespace

LiveWaveform::LiveWaveform(OverlayModel* model, Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_clock(clock)
    , m_lastSample(clock.now())
    , m_frameTime(clock.now())
{
    setFixedSize(frameSize);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    const ThemePalette& p = Theme::palette();
    m_curGrad = {Theme::color(p.gold), Theme::color(p.goldBright), Theme::color(p.goldSheen)};
    m_curGlow = Theme::color(p.goldBright);
    m_frames.setInterval(frameMs);
    m_frames.setTimerType(Qt::PreciseTimer);
    connect(&m_frames, &QTimer::timeout, this, &LiveWaveform::onFrame);
}

LiveWaveform::Target LiveWaveform::targetPalette() const
{
    const ThemePalette& p = Theme::palette();
    const auto phase = m_model ? m_model->phase() : OverlayModel::Phase::done;
    switch (phase) {
    case OverlayModel::Phase::listeningAsk:
    case OverlayModel::Phase::listeningRewrite:
        return {{Theme::color(p.violet), Theme::color(p.violetBright), Theme::color(p.violetBright)},
                Theme::color(p.violetBright)};
    case OverlayModel::Phase::listeningTranslate:
        return {{Theme::color(p.teal), Theme::color(p.tealBright), Theme::color(p.tealBright)},
                Theme::color(p.tealBright)};
    default:
        return {{Theme::color(p.gold), Theme::color(p.goldBright), Theme::color(p.goldSheen)},
                Theme::color(p.goldBright)};
    }
}

void LiveWaveform::advance(std::chrono::milliseconds now)
{
    m_frameTime = now;
    const Target target = targetPalette();
    const auto phase = m_model ? m_model->phase() : OverlayModel::Phase::done;

    if (OverlayModel::isListening(phase) && !OverlayModel::isListening(m_prevPhase)) {
        // A new listening display starts clean and in its own colours at once.
        m_curGrad = target.grad;
        m_curGlow = target.glow;
        m_bars.fill(0.0f);
        m_smoothed = 0.0f;
    } else {
        // The fade advances per displayed frame, not per second.
        const std::size_t n = std::min(m_curGrad.size(), target.grad.size());
        std::vector<QColor> blended;
        blended.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            blended.push_back(Theme::mixed(m_curGrad[i], target.grad[i], colourFade));
        m_curGrad = std::move(blended);
        m_curGlow = Theme::mixed(m_curGlow, target.glow, colourFade);
    }
    m_prevPhase = phase;
    m_flowPhase += flowStep;

    if (now - m_lastSample >= interval) {
        m_lastSample = now;
        float level = m_model ? m_model->levelSample : 0.0f;
        // Also catches NaN, which would otherwise poison the smoothed level for good.
        if (!(level > 0.0f))
            level = 0.0f;
        else if (level >= 1.0f)
            level = 1.0f;
        m_smoothed = m_smoothed + (level - m_smoothed) * smoothing;
        std::move(m_bars.begin() + 1, m_bars.end(), m_bars.begin());
        m_bars.back() = m_smoothed;
    }
}

float LiveWaveform::sample(double t) const
{
    const int n = barCount;
    // Truncation towards zero, then clamped into the history.
    double position = t * (n - 1);
    if (std::isnan(position))
        position = 0;
    const long long truncated = static_cast<long long>(std::clamp(position, -1.0, double(n)));
    const int i = int(std::clamp<long long>(truncated, 0, n - 1));
    return m_bars[std::size_t(i)];
}

double LiveWaveform::scrollAt(std::chrono::milliseconds now) const
{
    const double scroll = double((now - m_lastSample).count()) / double(interval.count());
    return std::clamp(scroll, 0.0, 1.0);
}

QColor LiveWaveform::glowColour() const
{
    return withOpacity(m_curGlow, m_curGlow.alphaF() * 0.45);
}

QLinearGradient LiveWaveform::shading(const QRectF& rect, qreal opacity) const
{
    QLinearGradient gradient(rect.center().x(), rect.bottom(), rect.center().x(), rect.top());
    const std::size_t n = m_curGrad.size();
    for (std::size_t i = 0; i < n; ++i) {
        const qreal at = n > 1 ? qreal(i) / qreal(n - 1) : 0.0;
        gradient.setColorAt(at, withOpacity(m_curGrad[i], opacity));
    }
    return gradient;
}

void LiveWaveform::paintFrame(QPainter& painter, const QSizeF& size, std::chrono::milliseconds now) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const auto phase = m_model ? m_model->phase() : OverlayModel::Phase::done;
    switch (phase) {
    case OverlayModel::Phase::listeningAsk:
    case OverlayModel::Phase::listeningRewrite:
        drawDots(painter, size);
        break;
    case OverlayModel::Phase::listeningTranslate:
        drawLine(painter, size);
        break;
    default:
        drawBars(painter, size, scrollAt(now));
        break;
    }
    painter.restore();
}

// The glow is a soft stroke of the glow colour laid under each shape: QPainter has no shadow
// filter, and a blur pass per frame would cost far more than the shapes themselves.

void LiveWaveform::drawBars(QPainter& painter, const QSizeF& size, double scroll) const
{
    const int n = barCount;
    const qreal w = size.width();
    const qreal h = size.height();
    const qreal spacing = (w - barWidth) / (n - 2);
    const qreal offset = scroll * spacing;
    std::array<QRectF, barCount> rects;
    for (int i = 0; i < n; ++i) {
        const qreal v = m_bars[std::size_t(i)];
        const qreal bh = std::max(h * v * 0.86, minBarHeight);
        rects[std::size_t(i)] = QRectF(spacing * i - offset, (h - bh) * 0.5, barWidth, bh);
    }
    // The glow is each bar's outline grown by a pixel, filled faintly beneath it. A stroke would
    // look much the same but costs several times the bars themselves.
    const QColor glow = glowColour();
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(glow, glow.alphaF() * 0.5));
    for (const QRectF& bar : rects) {
        const QRectF halo = bar.adjusted(-1, -1, 1, 1);
        painter.drawRoundedRect(halo, halo.width() / 2, halo.width() / 2);
    }
    painter.setPen(Qt::NoPen);
    // One gradient laid over each bar's own box, and the opacity applied by the painter: the
    // gradient's colour table is then built once per frame instead of once per bar.
    QLinearGradient perBar = shading(QRectF(0, 0, 1, 1), 1.0);
    perBar.setCoordinateMode(QGradient::ObjectMode);
    painter.setBrush(perBar);
    const qreal baseOpacity = painter.opacity();
    for (int i = 0; i < n; ++i) {
        const qreal v = m_bars[std::size_t(i)];
        painter.setOpacity(baseOpacity * (v * 0.26 + 0.74));
        painter.drawRoundedRect(rects[std::size_t(i)], barWidth / 2, barWidth / 2);
    }
    painter.setOpacity(baseOpacity);
}

void LiveWaveform::drawLine(QPainter& painter, const QSizeF& size) const
{
    const qreal w = size.width();
    const qreal h = size.height();
    const qreal mid = h * 0.5;
    const qreal amp = h * 0.4;
    QPainterPath path;
    for (int i = 0; i <= 64; ++i) {
        const double t = i / 64.0;
        const double s = sample(t);
        const double env = amp * (s * 0.8 + 0.28);
        const QPointF point(w * t, mid - env * std::sin(M_PI * t) * std::sin(3 * M_PI * t + m_flowPhase));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    const QRectF canvas(0, 0, w, h);
    painter.setBrush(Qt::NoBrush);
    // Every stroke is a fill of the whole line, which the raster engine hands to its worker
    // threads and waits for: the soft wide stroke is the glow and the faint shade over it in one,
    // their colours blended beforehand. On a line this smooth a miter join looks as round as a
    // round one and makes a far shorter outline.
    auto stroke = [&](const QBrush& brush, qreal width) {
        QPen pen(brush, width, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
        pen.setMiterLimit(2);
        painter.setPen(pen);
        painter.drawPath(path);
    };
    QLinearGradient halo = shading(canvas, 0.24);
    const QColor glow = glowColour();
    QGradientStops stops = halo.stops();
    for (QGradientStop& stop : stops)
        stop.second = over(stop.second, glow);
    halo.setStops(stops);
    stroke(halo, 5.0);
    stroke(shading(canvas, 0.98), 1.9);
}

void LiveWaveform::drawDots(QPainter& painter, const QSizeF& size) const
{
    const qreal cy = size.height() * 0.5;
    const qreal step = size.width() * 0.25;
    painter.setPen(Qt::NoPen);
    const QColor glow = glowColour();
    for (int k = 0; k < 3; ++k) {
        const qreal cx = step * (k + 1);
        const qreal s = sample(k * 0.5);
        const qreal pulse = std::sin(m_flowPhase * 1.15 - 0.95 * k) * 0.5 + 0.5;
        const qreal r = s * 1.8 + pulse * 1.5 + 2.0;
        const QRectF rect(cx - r, cy - r, 2 * r, 2 * r);
        const qreal alpha = std::min(s * 0.25 + pulse * 0.4 + 0.42, 1.0);
        painter.setBrush(withOpacity(glow, glow.alphaF() * 0.5));
        painter.drawEllipse(rect.adjusted(-2, -2, 2, 2));
        painter.setBrush(shading(rect, alpha * 0.4));
        painter.drawEllipse(rect.adjusted(-1.5, -1.5, 1.5, 1.5));
        painter.setBrush(shading(rect, alpha));
        painter.drawEllipse(rect);
    }
}

void LiveWaveform::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFrame(painter, QSizeF(size()), m_frameTime);
}

void LiveWaveform::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Coming on screen is a new listening display: it starts as a freshly built one would.
    m_prevPhase = OverlayModel::Phase::done;
    m_lastSample = m_clock.now();
    advance(m_clock.now());
    m_frames.start();
}

void LiveWaveform::hideEvent(QHideEvent* event)
{
    m_frames.stop();
    QWidget::hideEvent(event);
}

void LiveWaveform::onFrame()
{
    advance(m_clock.now());
    update();
}

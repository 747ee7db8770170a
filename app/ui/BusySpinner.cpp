#include "app/ui/BusySpinner.h"

#include "app/ui/Theme.h"

#include <QPainter>

BusySpinner::BusySpinner(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    m_turn.setInterval(33);
    connect(&m_turn, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 24) % 360;
        update();
    });
}

void BusySpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = QRectF(rect()).adjusted(2, 2, -2, -2);
    QColor track = Theme::color(Theme::palette().textDim);
    track.setAlphaF(track.alphaF() * 0.25f);
    painter.setPen(QPen(track, 2.0));
    painter.drawEllipse(ring);
    painter.setPen(QPen(Theme::color(Theme::palette().textDim), 2.0, Qt::SolidLine, Qt::RoundCap));
    // Qt counts arcs in 1/16 degree, counter-clockwise from three o'clock.
    painter.drawArc(ring, -m_angle * 16, 100 * 16);
}

void BusySpinner::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_turn.start();
}

void BusySpinner::hideEvent(QHideEvent* event)
{
    m_turn.stop();
    QWidget::hideEvent(event);
}

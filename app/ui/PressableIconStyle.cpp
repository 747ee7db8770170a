#include "app/ui/PressableIconStyle.h"

#include <QAbstractButton>
#include <QPainter>

PressableIconStyle::PressableIconStyle(QAbstractButton* button)
    : QObject(button)
    , m_button(button)
{
    m_animation.setDuration(easeMs);
    m_animation.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_amount = value.toReal();
        if (m_button)
            m_button->update();
    });
    connect(button, &QAbstractButton::pressed, this, [this] { animateTo(1.0); });
    connect(button, &QAbstractButton::released, this, [this] { animateTo(0.0); });
}

void PressableIconStyle::animateTo(qreal target)
{
    m_animation.stop();
    m_animation.setStartValue(m_amount);
    m_animation.setEndValue(target);
    m_animation.start();
}

void PressableIconStyle::apply(QPainter& painter, const QRectF& labelBounds) const
{
    const qreal scale = 1.0 + (pressedScale - 1.0) * m_amount;
    const QPointF centre = labelBounds.center();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    painter.setOpacity(painter.opacity() * (1.0 + (pressedOpacity - 1.0) * m_amount));
}

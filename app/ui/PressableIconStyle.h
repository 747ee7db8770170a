#pragma once

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QVariantAnimation>

class QAbstractButton;
class QPainter;

// The press effect of the main window's small icon buttons: while pressed, the label shrinks to
// 0.82 about its centre and fades to 0.55, easing out over 0.12 s each way. Attach one to a
// button; the button calls apply() before drawing its label.
class PressableIconStyle : public QObject
{
    Q_OBJECT

public:
    static constexpr qreal pressedScale = 0.82;
    static constexpr qreal pressedOpacity = 0.55;
    static constexpr int easeMs = 120;

    explicit PressableIconStyle(QAbstractButton* button);

    // 0 at rest, 1 fully pressed; eases between the two.
    qreal pressAmount() const { return m_amount; }
    // Scales the painter about the centre of labelBounds and sets its opacity for the current
    // press amount. Callers save and restore the painter around it.
    void apply(QPainter& painter, const QRectF& labelBounds) const;

private:
    void animateTo(qreal target);

    QPointer<QAbstractButton> m_button;
    QVariantAnimation m_animation;
    qreal m_amount = 0.0;
};

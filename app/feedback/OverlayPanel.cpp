#include "app/feedback/OverlayPanel.h"

#include "app/feedback/OverlayView.h"

#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>

OverlayPanel::OverlayPanel(OverlayView* view, bool translucent)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint)
    , m_view(view)
    , m_translucent(translucent)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Murmo"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    view->setOpaqueCapsule(!translucent);
}

void OverlayPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_grabOffset = event->globalPosition().toPoint() - pos();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void OverlayPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grabOffset && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *m_grabOffset);
        Q_EMIT draggedTo(geometry());
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void OverlayPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_grabOffset.reset();
    QWidget::mouseReleaseEvent(event);
}

void OverlayPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_translucent) {
        // Cut to the capsule: without a compositor the transparent margin would show as black.
        const QRectF capsule = QRectF(rect()).adjusted(OverlayView::outerMargin, OverlayView::outerMargin,
                                                       -OverlayView::outerMargin, -OverlayView::outerMargin);
        QPainterPath path;
        path.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
}

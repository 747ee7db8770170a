#include "app/feedback/OverlayPanel.h"

#include "app/feedback/OverlayView.h"

#include <QPainterPath>
#include <QRegion>

OverlayPanel::OverlayPanel(OverlayView* view, bool translucent)
    : FloatingPanel(view, translucent, Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
    , m_view(view)
{
    setFocusPolicy(Qt::NoFocus);
    view->setOpaqueCapsule(!translucent);
}

void OverlayPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!translucent()) {
        // Cut to the capsule: without a compositor the transparent margin would show as black.
        const QRectF capsule = QRectF(rect()).adjusted(OverlayView::outerMargin, OverlayView::outerMargin,
                                                       -OverlayView::outerMargin, -OverlayView::outerMargin);
        QPainterPath path;
        path.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
}

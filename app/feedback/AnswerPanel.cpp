#include "app/feedback/AnswerPanel.h"

#include "app/feedback/AnswerView.h"

#include <QPainterPath>
#include <QRegion>

AnswerPanel::AnswerPanel(AnswerView* view, bool translucent)
    : FloatingPanel(view, translucent)
    , m_view(view)
{
    setFixedSize(AnswerView::cardWidth, AnswerView::cardHeight);
    view->setOpaque(!translucent);
    if (!translucent) {
        // Without a compositor the corners outside the rounded card would show black.
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), AnswerView::cornerRadius, AnswerView::cornerRadius);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
}

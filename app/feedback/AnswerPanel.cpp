#include "app/feedback/AnswerPanel.h"

#include "app/feedback/AnswerView.h"

#include <QMouseEvent>
#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>

AnswerPanel::AnswerPanel(AnswerView* view, bool translucent)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_view(view)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setWindowTitle(QStringLiteral("Murmo"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    setFixedSize(AnswerView::cardWidth, AnswerView::cardHeight);
    view->setOpaque(!translucent);
    if (!translucent) {
        // Without a compositor the corners outside the rounded card would show black.
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), AnswerView::cornerRadius, AnswerView::cornerRadius);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
}

void AnswerPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_grabOffset = event->globalPosition().toPoint() - pos();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void AnswerPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grabOffset && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *m_grabOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void AnswerPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_grabOffset.reset();
    QWidget::mouseReleaseEvent(event);
}

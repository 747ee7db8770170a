#include "app/feedback/FloatingPanel.h"

#include <QMouseEvent>
#include <QVBoxLayout>

FloatingPanel::FloatingPanel(QWidget* content, bool translucent, Qt::WindowFlags extraFlags)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | extraFlags)
    , m_translucent(translucent)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setWindowTitle(QStringLiteral("Murmo"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
}

void FloatingPanel::showAt(const QRect& geometry)
{
    setGeometry(geometry);
    show();
    setGeometry(geometry);
}

void FloatingPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_grabOffset = event->globalPosition().toPoint() - pos();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void FloatingPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grabOffset && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *m_grabOffset);
        Q_EMIT draggedTo(geometry());
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void FloatingPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_grabOffset.reset();
    QWidget::mouseReleaseEvent(event);
}

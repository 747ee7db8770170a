#include "app/shell/SheetOverlay.h"

#include <QEvent>
#include <QPainter>

SheetOverlay::SheetOverlay(QWidget* sheet, QWidget* host)
    : QWidget(host)
    , m_sheet(sheet)
{
    sheet->setParent(this);
    setAttribute(Qt::WA_NoMousePropagation);
    host->installEventFilter(this);
    setGeometry(host->rect());
    raise();
}

bool SheetOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void SheetOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 77));
}

void SheetOverlay::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_sheet)
        return;
    const QSize size = m_sheet->sizeHint().expandedTo(m_sheet->minimumSize()).boundedTo(this->size());
    m_sheet->setGeometry(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
}

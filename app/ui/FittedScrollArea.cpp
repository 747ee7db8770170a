#include "app/ui/FittedScrollArea.h"

#include <QEvent>
#include <QLayout>
#include <QScrollBar>

FittedScrollArea::FittedScrollArea(QWidget* parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The content paints its own background.
    viewport()->setAutoFillBackground(false);
    setFixedHeight(0);
}

void FittedScrollArea::setContent(QWidget* content)
{
    setWidget(content);
    content->installEventFilter(this);
    fit();
}

void FittedScrollArea::setHeightLimit(int limit)
{
    if (limit == m_limit)
        return;
    m_limit = limit;
    fit();
}

int FittedScrollArea::neededHeight() const
{
    const QWidget* content = widget();
    if (!content)
        return 0;
    // The width the content gets without a scroll bar; a scrolled area is at its limit anyway.
    const int width = viewport()->width() + (verticalScrollBar()->isVisible() ? verticalScrollBar()->width() : 0);
    const QLayout* layout = content->layout();
    if (layout && layout->hasHeightForWidth())
        return content->heightForWidth(width);
    return content->sizeHint().height();
}

bool FittedScrollArea::eventFilter(QObject* watched, QEvent* event)
{
    // A banner shown or hidden, a text changed: the content asks for a new layout.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        fit();
    return QScrollArea::eventFilter(watched, event);
}

void FittedScrollArea::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    fit();
}

void FittedScrollArea::fit()
{
    const int height = std::clamp(neededHeight(), 0, std::max(0, m_limit));
    if (height != this->height() || minimumHeight() != height)
        setFixedHeight(height);
}

#include "app/shell/SheetOverlay.h"

#include <QApplication>
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
    // Focus moved by other means than Tab (a click is stopped by the backdrop) comes back too.
    m_following = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { holdFocus(now); });
}

SheetOverlay::~SheetOverlay()
{
    // Taking this widget down moves the focus, and by then it is a SheetOverlay no more.
    disconnect(m_following);
}

QList<QWidget*> SheetOverlay::focusable() const
{
    QList<QWidget*> widgets;
    if (!m_sheet)
        return widgets;
    for (QWidget* widget = m_sheet->nextInFocusChain(); widget != m_sheet; widget = widget->nextInFocusChain()) {
        if (m_sheet->isAncestorOf(widget) && widget->isVisibleTo(m_sheet) && widget->isEnabled() &&
            (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy())
            widgets.append(widget);
    }
    return widgets;
}

void SheetOverlay::holdFocus(QWidget* now)
{
    if (!now || !m_sheet || !isVisible() || now->window() != window())
        return;
    // Inside this sheet, or another one over the same window (sign-in during the first run).
    for (QWidget* widget = now; widget; widget = widget->parentWidget()) {
        if (qobject_cast<SheetOverlay*>(widget))
            return;
    }
    const QList<QWidget*> widgets = focusable();
    if (widgets.isEmpty())
        m_sheet->setFocus(Qt::OtherFocusReason);
    else
        widgets.first()->setFocus(Qt::TabFocusReason);
}

bool SheetOverlay::focusNextPrevChild(bool next)
{
    const QList<QWidget*> widgets = focusable();
    if (widgets.isEmpty())
        return true;
    const qsizetype at = widgets.indexOf(QApplication::focusWidget());
    const qsizetype count = widgets.size();
    const qsizetype to = at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count;
    widgets.at(to)->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void SheetOverlay::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    holdFocus(QApplication::focusWidget());
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

bool SheetOverlay::event(QEvent* event)
{
    // The sheet asks for more room when something shows in it (a hint under a row): it grows
    // rather than squeezing its texts.
    if (event->type() == QEvent::LayoutRequest)
        placeSheet();
    return QWidget::event(event);
}

void SheetOverlay::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeSheet();
}

void SheetOverlay::placeSheet()
{
    if (!m_sheet)
        return;
    const QSize size = m_sheet->sizeHint().expandedTo(m_sheet->minimumSize()).boundedTo(this->size());
    m_sheet->setGeometry(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
}

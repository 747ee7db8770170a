#pragma once

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

// Counts the paints a widget received, its children's included, so a benchmark of a window on a
// real display can wait until the window has drawn a change and can show that it painted.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* watched)
        : m_watched(watched)
    {
        qApp->installEventFilter(this);
    }
    ~PaintCounter() override { qApp->removeEventFilter(this); }

    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;

    int paints() const { return m_paints; }

    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_watched && object->isWidgetType() &&
            (object == m_watched || m_watched->isAncestorOf(static_cast<QWidget*>(object))))
            ++m_paints;
        return false;
    }

private:
    QPointer<QWidget> m_watched;
    int m_paints = 0;
};

#include "app/shell/FirstFrame.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

void FirstFrame::after(QWidget* window, std::function<void()> work)
{
    new FirstFrame(window, std::move(work));
}

FirstFrame::FirstFrame(QWidget* window, std::function<void()> work)
    : QObject(window)
    , m_work(std::move(work))
{
    window->installEventFilter(this);
    QTimer::singleShot(fallback, this, &FirstFrame::run);
}

bool FirstFrame::eventFilter(QObject* watched, QEvent* event)
{
    // The paint is still to be delivered and the frame to be put on screen; the work follows
    // both from the event loop.
    if (event->type() == QEvent::Paint && !std::exchange(m_queued, true))
        QTimer::singleShot(0, this, &FirstFrame::run);
    return QObject::eventFilter(watched, event);
}

void FirstFrame::run()
{
    std::function<void()> work = std::exchange(m_work, nullptr);
    deleteLater();
    if (work)
        work();
}

#include "app/shell/FirstFrame.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

void FirstFrame::after(QWidget* window, std::vector<Step> steps)
{
    new FirstFrame(window, std::move(steps));
}

FirstFrame::FirstFrame(QWidget* window, std::vector<Step> steps)
    : QObject(window)
    , m_steps(std::move(steps))
{
    window->installEventFilter(this);
    QTimer::singleShot(fallback, this, &FirstFrame::begin);
}

bool FirstFrame::eventFilter(QObject* watched, QEvent* event)
{
    // The paint is still to be delivered and the frame to be put on screen; the steps follow
    // both, after a pause.
    if (event->type() == QEvent::Paint)
        begin();
    return QObject::eventFilter(watched, event);
}

void FirstFrame::begin()
{
    if (std::exchange(m_begun, true))
        return;
    parent()->removeEventFilter(this);
    QTimer::singleShot(pause, this, &FirstFrame::runNext);
}

void FirstFrame::runNext()
{
    if (m_next == m_steps.size()) {
        deleteLater();
        return;
    }
    const Step step = std::exchange(m_steps[m_next++], nullptr);
    QTimer::singleShot(pause, this, &FirstFrame::runNext);
    step();
}

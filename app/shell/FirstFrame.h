#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class QWidget;

// Runs work once, on the main thread, right after a window has painted its first frame: start-up
// work that nothing in that frame needs waits for it instead of holding it up. A window that
// paints nothing within the fallback (hidden, or on a display that never shows it) does not hold
// the work back for longer than that.
class FirstFrame : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds fallback{500};

    // Owned by window; work runs at most once, and not at all once window is gone.
    static void after(QWidget* window, std::function<void()> work);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FirstFrame(QWidget* window, std::function<void()> work);
    void run();

    std::function<void()> m_work;
    bool m_queued = false;
};

#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <vector>

class QWidget;

// Runs start-up work once, on the main thread, after a window has painted its first frame: work
// that nothing in that frame needs waits for it instead of holding it up. The work comes in
// steps, each in a turn of the event loop of its own a frame's time after the one before, so that
// the frame goes out and the window answers between them rather than after all of them. A window
// that paints nothing within the fallback (hidden, or on a display that never shows it) does not
// hold the work back for longer than that.
class FirstFrame : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds fallback{500};
    // The pause before each step: a frame's time, in which the event loop can rest.
    static constexpr std::chrono::milliseconds pause{16};

    using Step = std::function<void()>;

    // Owned by window; the steps run at most once each, in order, and none once window is gone.
    static void after(QWidget* window, std::vector<Step> steps);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FirstFrame(QWidget* window, std::vector<Step> steps);
    void begin();
    void runNext();

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    bool m_begun = false;
};

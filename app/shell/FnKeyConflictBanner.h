#pragma once

#include "platform/Clock.h"

#include <QWidget>

#include <chrono>
#include <functional>

class ShellBanner;

// Tells the user that the talk key is the Fn key alone while the desktop still gives that key a
// function of its own, and offers to set it to no action again. It looks again every 2 s while
// it shows, so a fix made in the desktop's settings takes it away soon. (On Linux the desktop never
// claims the key, so the banner stays away; it keeps the same shape as elsewhere.)
class FnKeyConflictBanner : public QWidget
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds recheckInterval{2000};

    // hasFnHotkey: whether any hotkey is the Fn key alone; hijacked: whether the desktop gives the
    // key a function (read only when an Fn hotkey exists); fix: the one-click fix.
    FnKeyConflictBanner(std::function<bool()> hasFnHotkey, std::function<bool()> hijacked, std::function<void()> fix,
                        Clock& clock, QWidget* parent = nullptr);
    ~FnKeyConflictBanner() override;

    bool conflict() const { return m_conflict; }
    // Nothing until a conflict first shows.
    ShellBanner* strip() const { return m_strip; }
    // Evaluates the two conditions again.
    void recheck();
    void applyTheme();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildStrip();
    void schedule();
    void stop();

    std::function<bool()> m_hasFnHotkey;
    std::function<bool()> m_hijacked;
    std::function<void()> m_fix;
    Clock& m_clock;
    ShellBanner* m_strip = nullptr;
    bool m_conflict = false;
    Clock::TimerId m_timer = 0;
};

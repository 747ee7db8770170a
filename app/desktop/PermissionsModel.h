#pragma once

#include "app/desktop/MurmoPermission.h"
#include "platform/Clock.h"

#include <QFuture>
#include <QMap>
#include <QObject>

#include <chrono>
#include <memory>

class PermissionProbes;

// Whether each permission is granted, for the main window's banners, the first-run sheet and the
// settings window. Observers hear only of real changes. Main thread only.
//
// The accessibility probe may block on a hung session bus, so it runs on a worker thread, one at
// a time, and its answer comes back to the main thread; the microphone is known at once. The
// probes must outlive the model: its destructor waits for a probe still running.
class PermissionsModel : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds pollInterval{1000};

    // When the model first looks at the permissions: at once, or at start(). Looking at the
    // microphone opens the sound server's connection on the main thread, which a window's first
    // frame need not wait for.
    enum class FirstLook
    {
        atOnce,
        atStart
    };

    PermissionsModel(PermissionProbes& probes, Clock& clock, FirstLook firstLook = FirstLook::atOnce,
                     QObject* parent = nullptr);
    ~PermissionsModel() override;

    // Empty until the first refresh has answered; then one entry per permission.
    const QMap<MurmoPermission, bool>& granted() const { return m_granted; }
    bool isGranted(MurmoPermission permission) const { return m_granted.value(permission, false); }

    // The first look of a model made with FirstLook::atStart; refreshes asked for before it wait
    // for it. Does nothing on a second call.
    void start();
    bool isStarted() const { return m_started; }

    void refresh();
    // A refresh waits for the accessibility probe's answer.
    bool isRefreshing() const { return m_probing; }
    // Refreshes every second until stopPolling(); a second call while polling does nothing.
    void startPolling();
    void stopPolling();
    bool isPolling() const { return m_timer != 0; }

Q_SIGNALS:
    void grantedChanged(MurmoPermission permission, bool granted);

private:
    void tick();
    void probeAccessibility();
    void publish(MurmoPermission permission, bool granted);

    PermissionProbes& m_probes;
    Clock& m_clock;
    QMap<MurmoPermission, bool> m_granted;
    Clock::TimerId m_timer = 0;
    QFuture<void> m_probe;
    bool m_started = true;
    bool m_probing = false;
    // A refresh asked for while the probe ran: it probes again once the answer is in.
    bool m_probeAgain = false;
};

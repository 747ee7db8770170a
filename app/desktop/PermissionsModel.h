#pragma once

#include "app/desktop/MurmoPermission.h"

#include <QFuture>
#include <QMap>
#include <QObject>

#include <memory>

class PermissionProbes;

// Whether each permission is granted, for the main window's banners, the first-run sheet and the
// settings window. Observers hear only of real changes. Main thread only.
//
// The accessibility probe may block on a hung session bus, so it runs on a worker thread, one at
// a time, and its answer comes back to the main thread; the microphone is known at once. The
// probes must outlive the model: its destructor waits for a probe still running.
//
// From its first look on the model follows the desktop's own change notices, so it asks again only
// when something may have changed: an idle program with a permission missing sleeps.
class PermissionsModel : public QObject
{
    Q_OBJECT

public:
    // When the model first looks at the permissions: at once, or at start(). Looking at the
    // microphone opens the sound server's connection on the main thread, which a window's first
    // frame need not wait for.
    enum class FirstLook
    {
        atOnce,
        atStart
    };

    PermissionsModel(PermissionProbes& probes, FirstLook firstLook = FirstLook::atOnce, QObject* parent = nullptr);
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

Q_SIGNALS:
    void grantedChanged(MurmoPermission permission, bool granted);

private:
    void probeAccessibility();
    void publish(MurmoPermission permission, bool granted);

    PermissionProbes& m_probes;
    QMap<MurmoPermission, bool> m_granted;
    QFuture<void> m_probe;
    bool m_started = true;
    bool m_probing = false;
    // A refresh asked for while the probe ran: it probes again once the answer is in.
    bool m_probeAgain = false;
};

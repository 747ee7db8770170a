#pragma once

#include "app/desktop/MurmoPermission.h"
#include "platform/Clock.h"

#include <QMap>
#include <QObject>

#include <chrono>
#include <memory>

class PermissionProbes;

// Whether each permission is granted, for the main window's banners, the first-run sheet and the
// settings window. Observers hear only of real changes. Main thread only.
class PermissionsModel : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds pollInterval{1000};

    // Looks at the permissions at once.
    PermissionsModel(PermissionProbes& probes, Clock& clock, QObject* parent = nullptr);
    ~PermissionsModel() override;

    // Empty until the first refresh; then one entry per permission.
    const QMap<MurmoPermission, bool>& granted() const { return m_granted; }
    bool isGranted(MurmoPermission permission) const { return m_granted.value(permission, false); }

    void refresh();
    // Refreshes every second until stopPolling(); a second call while polling does nothing.
    void startPolling();
    void stopPolling();
    bool isPolling() const { return m_timer != 0; }

Q_SIGNALS:
    void grantedChanged(MurmoPermission permission, bool granted);

private:
    void tick();

    PermissionProbes& m_probes;
    Clock& m_clock;
    QMap<MurmoPermission, bool> m_granted;
    Clock::TimerId m_timer = 0;
};

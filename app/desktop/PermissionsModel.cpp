#include "app/desktop/PermissionsModel.h"

#include "platform/PermissionProbes.h"

#include <QPointer>

PermissionsModel::PermissionsModel(PermissionProbes& probes, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_probes(probes)
    , m_clock(clock)
{
    refresh();
}

PermissionsModel::~PermissionsModel()
{
    stopPolling();
}

void PermissionsModel::refresh()
{
    for (MurmoPermission permission : MurmoPermissions::allCases()) {
        const bool now = permission == MurmoPermission::microphone ? m_probes.microphoneAvailable()
                                                                   : m_probes.accessibilityAvailable();
        const auto known = m_granted.constFind(permission);
        if (known != m_granted.constEnd() && *known == now)
            continue;
        m_granted.insert(permission, now);
        Q_EMIT grantedChanged(permission, now);
    }
}

void PermissionsModel::startPolling()
{
    if (m_timer != 0)
        return;
    QPointer<PermissionsModel> self(this);
    m_timer = m_clock.schedule(pollInterval, [self] {
        if (self)
            self->tick();
    });
}

void PermissionsModel::stopPolling()
{
    if (m_timer == 0)
        return;
    m_clock.cancel(m_timer);
    m_timer = 0;
}

void PermissionsModel::tick()
{
    m_timer = 0;
    // Rescheduled first, so a listener that stops polling from its change handler stays stopped.
    startPolling();
    refresh();
}

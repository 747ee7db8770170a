#include "app/desktop/PermissionsModel.h"

#include "core/async/PostToThread.h"
#include "platform/PermissionProbes.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

PermissionsModel::PermissionsModel(PermissionProbes& probes, Clock& clock, FirstLook firstLook, QObject* parent)
    : QObject(parent)
    , m_probes(probes)
    , m_clock(clock)
    , m_started(firstLook == FirstLook::atOnce)
{
    refresh();
}

PermissionsModel::~PermissionsModel()
{
    stopPolling();
    m_probe.waitForFinished();
}

void PermissionsModel::start()
{
    if (std::exchange(m_started, true))
        return;
    refresh();
}

void PermissionsModel::refresh()
{
    if (!m_started)
        return;
    publish(MurmoPermission::microphone, m_probes.microphoneAvailable());
    probeAccessibility();
}

void PermissionsModel::probeAccessibility()
{
    if (m_probing) {
        m_probeAgain = true;
        return;
    }
    m_probing = true;
    PermissionProbes& probes = m_probes;
    // The destructor waits for this task, so the model is still there when it posts its answer.
    m_probe = QtConcurrent::run([this, self = QPointer(this), &probes] {
        const bool granted = probes.accessibilityAvailable();
        postTo(this, [self, granted] {
            self->m_probing = false;
            const bool again = std::exchange(self->m_probeAgain, false);
            self->publish(MurmoPermission::accessibility, granted);
            // A listener may have deleted the model.
            if (again && self)
                self->probeAccessibility();
        });
    });
}

void PermissionsModel::publish(MurmoPermission permission, bool granted)
{
    const auto known = m_granted.constFind(permission);
    if (known != m_granted.constEnd() && *known == granted)
        return;
    m_granted.insert(permission, granted);
    Q_EMIT grantedChanged(permission, granted);
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

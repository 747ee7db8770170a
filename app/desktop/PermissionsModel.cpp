#include "app/desktop/PermissionsModel.h"

#include "core/async/PostToThread.h"
#include "platform/PermissionProbes.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

// The probes announce their changes, so nothing here waits on the clock.
PermissionsModel::PermissionsModel(PermissionProbes& probes, FirstLook firstLook, QObject* parent)
    : QObject(parent)
    , m_probes(probes)
    , m_started(firstLook == FirstLook::atOnce)
{
    connect(&m_probes, &PermissionProbes::mayHaveChanged, this, &PermissionsModel::refresh);
    refresh();
}

PermissionsModel::~PermissionsModel()
{
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
    m_probes.watchChanges();
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

#include "tests/support/FakeDesktop.h"

std::optional<QString> FakeClipboard::text() const
{
    for (const auto& format : content.formats) {
        if (format.mimeType == QLatin1String("text/plain"))
            return QString::fromUtf8(format.data);
    }
    return std::nullopt;
}

void FakeClipboard::setText(const QString& text)
{
    content.formats = {{QStringLiteral("text/plain"), text.toUtf8()}};
    ++changes;
    if (readAtOnce)
        ++reads;
}

void FakeClipboard::restore(const ClipboardSnapshot& snapshot)
{
    content = snapshot;
    ++changes;
    ++restores;
}

void FakeClipboard::copyFromElsewhere(const ClipboardSnapshot& snapshot)
{
    content = snapshot;
    ++changes;
}

bool RecordingKeySynthesizer::postKey(quint32 keyCode, quint64 modifierFlags, bool down)
{
    if (!available)
        return false;
    if (down && beforePress)
        beforePress();
    if (down && keyHeld)
        return false;
    events.append({keyCode, modifierFlags, down});
    return true;
}

RunningApplication& FakeWorkspace::addApplication(const QString& bundleId, qint32 pid, const QString& name)
{
    applications.append({bundleId, pid, name, quint64(pid) * 16});
    return applications.last();
}

std::optional<RunningApplication> FakeWorkspace::frontApplication()
{
    for (const auto& application : applications) {
        if (frontPid && application.pid == *frontPid)
            return application;
    }
    return std::nullopt;
}

QList<RunningApplication> FakeWorkspace::runningApplications(const QString& bundleId)
{
    QList<RunningApplication> found;
    for (const auto& application : applications) {
        if (application.bundleId == bundleId)
            found.append(application);
    }
    return found;
}

bool FakeWorkspace::isActive(const RunningApplication& application)
{
    if (m_pendingPid && *m_pendingPid == application.pid && activationDelay >= 0) {
        if (++m_pendingQuestions > activationDelay) {
            frontPid = m_pendingPid;
            m_pendingPid.reset();
        }
    }
    return frontPid && *frontPid == application.pid;
}

void FakeWorkspace::activate(const RunningApplication& application)
{
    activations.append(application.pid);
    m_pendingPid = application.pid;
    m_pendingQuestions = 0;
    if (activationDelay == 0) {
        frontPid = application.pid;
        m_pendingPid.reset();
    }
}

std::optional<QString> FakeWorkspace::windowTitle(qint32 pid)
{
    if (!titles.contains(pid))
        return std::nullopt;
    return titles.value(pid);
}

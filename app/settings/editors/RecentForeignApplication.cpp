#include "app/settings/editors/RecentForeignApplication.h"

#include <QGuiApplication>
#include <QTimer>

namespace {

// The window manager moves _NET_ACTIVE_WINDOW just after our windows lose the focus.
constexpr int kSettleMs = 150;

} // namespace

RecentForeignApplication::RecentForeignApplication(Workspace& workspace, QObject* parent)
    : QObject(parent)
    , m_workspace(workspace)
{
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive)
                QTimer::singleShot(kSettleMs, this, &RecentForeignApplication::noteActiveWindow);
        });
    }
}

void RecentForeignApplication::noteActiveWindow()
{
    std::optional<RunningApplication> front = m_workspace.frontApplication();
    if (front && front->bundleId != m_workspace.ownBundleId())
        m_last = std::move(front);
}

std::optional<RunningApplication> RecentForeignApplication::pick()
{
    noteActiveWindow();
    return m_last;
}

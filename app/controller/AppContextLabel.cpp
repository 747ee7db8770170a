#include "app/controller/AppContextLabel.h"

namespace AppContextLabel {

std::optional<QString> appName(Workspace& workspace, const std::optional<QString>& bundleId,
                               const std::optional<RunningApplication>& frontmost)
{
    if (bundleId && !bundleId->isEmpty()) {
        const QList<RunningApplication> running = workspace.runningApplications(*bundleId);
        if (!running.isEmpty() && !running.first().name.isEmpty())
            return running.first().name;
    }
    if (frontmost)
        return frontmost->name;
    return std::nullopt;
}

std::optional<QString> label(bool autoCompose, const std::optional<ScreenContext::Info>& screen, Workspace& workspace,
                             const std::optional<QString>& targetBundleId,
                             const std::optional<RunningApplication>& frontmost)
{
    if (!autoCompose)
        return std::nullopt;
    if (screen && !screen->appName.isEmpty()) {
        const QString title = screen->windowTitle.trimmed();
        return title.isEmpty() ? screen->appName : screen->appName + QStringLiteral(" · ") + title;
    }
    const std::optional<QString> name = appName(workspace, targetBundleId, frontmost);
    if (name && !name->isEmpty())
        return name;
    return std::nullopt;
}

} // namespace AppContextLabel

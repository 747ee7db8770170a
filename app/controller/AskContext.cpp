#include "app/controller/AskContext.h"

#include <QStringList>

namespace AskContext {

std::optional<QString> build(const QString& appName, const std::optional<ScreenContext::Info>& screen)
{
    QStringList lines;
    if (!appName.isEmpty())
        lines.append(QStringLiteral("当前应用：") + appName);
    if (screen) {
        if (const QString title = screen->windowTitle.trimmed(); !title.isEmpty())
            lines.append(QStringLiteral("窗口：") + title);
        if (const QString nearby = screen->nearbyText.trimmed(); !nearby.isEmpty())
            lines.append(QStringLiteral("附近文字：") + nearby);
    }
    if (lines.isEmpty())
        return std::nullopt;
    return lines.join(QLatin1Char('\n'));
}

} // namespace AskContext

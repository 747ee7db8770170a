#include "app/desktop/MurmoPermission.h"

#include "app/desktop/SystemSettings.h"
#include "platform/PermissionProbes.h"

namespace MurmoPermissions {

const QList<MurmoPermission>& allCases()
{
    static const QList<MurmoPermission> all{MurmoPermission::microphone, MurmoPermission::accessibility};
    return all;
}

QString rawValue(MurmoPermission permission)
{
    switch (permission) {
    case MurmoPermission::microphone:
        return QStringLiteral("microphone");
    case MurmoPermission::accessibility:
        return QStringLiteral("accessibility");
    }
    return {};
}

std::optional<MurmoPermission> fromRawValue(const QString& raw)
{
    for (MurmoPermission permission : allCases()) {
        if (rawValue(permission) == raw)
            return permission;
    }
    return std::nullopt;
}

bool request(MurmoPermission permission, PermissionProbes& probes, ProcessLauncher& launcher)
{
    // No Linux desktop asks the user about a microphone per application, so there is no prompt
    // to show: the settings are where an input device can be chosen or unmuted.
    if (permission == MurmoPermission::accessibility)
        probes.enableAccessibility();
    return openSettings(permission, launcher);
}

QString settingsHint(MurmoPermission permission)
{
    return permission == MurmoPermission::microphone
               ? QStringLiteral("未找到系统设置程序：请在系统的声音设置里选择麦克风并取消静音")
               : QStringLiteral("未找到系统设置程序：请在系统的辅助功能设置里开启「辅助技术」");
}

bool openSettings(MurmoPermission permission, ProcessLauncher& launcher)
{
    return SystemSettings::open(permission == MurmoPermission::microphone ? SystemSettings::Panel::sound
                                                                          : SystemSettings::Panel::accessibility,
                                launcher);
}

} // namespace MurmoPermissions

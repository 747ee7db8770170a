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

QString explanation(MurmoPermission permission)
{
    return permission == MurmoPermission::microphone
               ? QStringLiteral("听到你说的话——没有它无法录音")
               : QStringLiteral("读懂屏幕上下文、读出要改写的选中文字、从你改过的字里学习——不给也照样上屏");
}

QString missingWarning(MurmoPermission permission)
{
    return permission == MurmoPermission::microphone
               ? QStringLiteral("没有找到麦克风——按了快捷键也录不到音")
               : QStringLiteral("辅助功能未开启——读不到屏幕上下文和要改写的选中文字，也无法从你改过的字里学习");
}

QString continueWithoutNote()
{
    return QStringLiteral("不授权也能先进入，之后随时可在设置里补上");
}

QString settingsHint(MurmoPermission permission)
{
    return permission == MurmoPermission::microphone
               ? QStringLiteral("未找到系统设置程序：请在系统的声音设置里选择麦克风并取消静音")
               : QStringLiteral("未找到系统设置程序：请在系统的辅助功能设置里开启「辅助技术」");
}

QString requestWithHint(MurmoPermission permission, PermissionProbes& probes, ProcessLauncher& launcher)
{
    return request(permission, probes, launcher) ? QString() : settingsHint(permission);
}

bool openSettings(MurmoPermission permission, ProcessLauncher& launcher)
{
    return SystemSettings::open(permission == MurmoPermission::microphone ? SystemSettings::Panel::sound
                                                                          : SystemSettings::Panel::accessibility,
                                launcher);
}

} // namespace MurmoPermissions

#include "app/controller/HotkeyRole.h"

const QList<HotkeyRole>& HotkeyRole::all()
{
    static const QList<HotkeyRole> roles{
        {QStringLiteral("talk"), SettingKey::hkTalk, QStringLiteral("听写主键"), false},
        {QStringLiteral("ask"), SettingKey::hkAsk, QStringLiteral("提问"), true},
        {QStringLiteral("translate"), SettingKey::hkTranslate, QStringLiteral("翻译"), true},
        {QStringLiteral("rewrite"), SettingKey::hkRewrite, QStringLiteral("改写"), true},
        {QStringLiteral("cycle"), SettingKey::hkCycle, QStringLiteral("切换风格模式"), false},
    };
    return roles;
}

const HotkeyRole* HotkeyRole::byId(const QString& id)
{
    for (const HotkeyRole& role : all()) {
        if (role.id == id)
            return &role;
    }
    return nullptr;
}

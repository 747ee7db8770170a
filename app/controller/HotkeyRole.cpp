#include "app/controller/HotkeyRole.h"

#include "app/controller/Settings.h"

#include <algorithm>

const QList<HotkeyRole>& HotkeyRole::all()
{
    static const QList<HotkeyRole> roles{
        {HotkeyUse::talk, QStringLiteral("talk"), SettingKey::hkTalk, QStringLiteral("听写主键")},
        {HotkeyUse::ask, QStringLiteral("ask"), SettingKey::hkAsk, QStringLiteral("提问")},
        {HotkeyUse::translate, QStringLiteral("translate"), SettingKey::hkTranslate, QStringLiteral("翻译")},
        {HotkeyUse::rewrite, QStringLiteral("rewrite"), SettingKey::hkRewrite, QStringLiteral("改写")},
        {HotkeyUse::cycle, QStringLiteral("cycle"), SettingKey::hkCycle, QStringLiteral("切换风格模式")},
    };
    return roles;
}

namespace {

template <typename Matches> const HotkeyRole* findRole(Matches matches)
{
    const QList<HotkeyRole>& roles = HotkeyRole::all();
    const auto found = std::find_if(roles.begin(), roles.end(), matches);
    return found == roles.end() ? nullptr : &*found;
}

} // namespace

const HotkeyRole* HotkeyRole::byId(const QString& id)
{
    return findRole([&id](const HotkeyRole& role) { return role.id == id; });
}

const HotkeyRole* HotkeyRole::bySetting(SettingKey setting)
{
    return findRole([setting](const HotkeyRole& role) { return role.setting == setting; });
}

HotkeySet HotkeyRole::fromSettings(const Settings& settings)
{
    HotkeySet hotkeys;
    for (const HotkeyRole& role : all()) {
        if (const std::optional<Hotkey> hotkey = settings.hotkey(role.setting))
            hotkeys.emplace(role.use, *hotkey);
    }
    return hotkeys;
}

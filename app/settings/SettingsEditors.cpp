#include "app/settings/SettingsEditors.h"

#include "app/settings/SettingsForm.h"

const QList<SettingsEditors::HotkeyRow>& SettingsEditors::hotkeyRows()
{
    static const QList<HotkeyRow> rows = {
        {QStringLiteral("talk"), QStringLiteral("听写主键"), false},
        {QStringLiteral("ask"), QStringLiteral("提问"), true},
        {QStringLiteral("translate"), QStringLiteral("翻译"), true},
        {QStringLiteral("rewrite"), QStringLiteral("改写"), true},
        {QStringLiteral("cycle"), QStringLiteral("切换风格模式"), false},
    };
    return rows;
}

void addEditor(SettingsSection& section, const SettingsEditors::Factory& factory)
{
    if (factory)
        section.addRow(factory(section.card()));
}

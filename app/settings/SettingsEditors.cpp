#include "app/settings/SettingsEditors.h"

#include "app/settings/SettingsForm.h"

void addEditor(SettingsSection& section, const SettingsEditors::Factory& factory)
{
    if (factory)
        section.addRow(factory(section.card()));
}

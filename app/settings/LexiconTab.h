#pragma once

#include "app/settings/SettingsForm.h"

struct SettingsEditors;

// "词库": the personal lexicon with its import, and the style profile.
class LexiconTab : public SettingsForm
{
    Q_OBJECT

public:
    LexiconTab(const SettingsEditors& editors, QWidget* parent = nullptr);
};

#include "app/settings/LexiconTab.h"

#include "app/settings/SettingsEditors.h"

LexiconTab::LexiconTab(const SettingsEditors& editors, QWidget* parent)
    : SettingsForm(parent)
{
    SettingsSection* lexicon = addSection(QStringLiteral("个人词库"));
    lexicon->addCaption(QStringLiteral("你的专属词表：Murmo会优先认这些词，也会把你改过的错词记进来。"));
    addEditor(*lexicon, editors.lexicon);
    addEditor(*lexicon, editors.lexiconImport);

    addEditor(*addSection(QStringLiteral("风格画像")), editors.styleProfile);
}

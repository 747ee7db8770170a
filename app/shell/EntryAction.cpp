#include "app/shell/EntryAction.h"

#include "app/ui/Theme.h"
#include "core/text/StyleMode.h"

namespace EntryAction {

QString filterValue(const HistoryEntry& entry)
{
    return entry.action.value_or(dictate);
}

QString actionName(const HistoryEntry& entry)
{
    const QString action = filterValue(entry);
    if (action == translate)
        return QStringLiteral("翻译");
    if (action == ask)
        return QStringLiteral("提问");
    if (action == rewrite)
        return QStringLiteral("改写");
    return QStringLiteral("听写");
}

const ColorPair& actionColor(const HistoryEntry& entry)
{
    const ThemePalette& palette = Theme::palette();
    const QString action = filterValue(entry);
    if (action == translate)
        return palette.teal;
    if (action == ask || action == rewrite)
        return palette.violet;
    return palette.gold;
}

QString sourceLabel(const HistoryEntry& entry)
{
    const QString action = filterValue(entry);
    if (action == ask)
        return QStringLiteral("问题");
    if (action == rewrite)
        return QStringLiteral("指令");
    return QStringLiteral("原话");
}

bool showsMode(const HistoryEntry& entry)
{
    return filterValue(entry) != ask;
}

QString modeName(const QString& modeId)
{
    const StyleMode* mode = StyleMode::byId(modeId);
    return mode ? mode->name : modeId;
}

} // namespace EntryAction

#include "app/shell/EntryAction.h"

#include "app/ui/Theme.h"
#include "core/text/StyleMode.h"

namespace EntryAction {

QString filterValue(const HistoryEntry& entry)
{
    return entry.action.value_or(HistoryEntry::kDictate);
}

QString actionName(const HistoryEntry& entry)
{
    const QString action = filterValue(entry);
    if (action == HistoryEntry::kTranslate)
        return QStringLiteral("翻译");
    if (action == HistoryEntry::kAsk)
        return QStringLiteral("提问");
    if (action == HistoryEntry::kRewrite)
        return QStringLiteral("改写");
    return QStringLiteral("听写");
}

const ColorPair& actionColor(const HistoryEntry& entry)
{
    const ThemePalette& palette = Theme::palette();
    const QString action = filterValue(entry);
    if (action == HistoryEntry::kTranslate)
        return palette.teal;
    if (action == HistoryEntry::kAsk || action == HistoryEntry::kRewrite)
        return palette.violet;
    return palette.gold;
}

QString sourceLabel(const HistoryEntry& entry)
{
    const QString action = filterValue(entry);
    if (action == HistoryEntry::kAsk)
        return QStringLiteral("问题");
    if (action == HistoryEntry::kRewrite)
        return QStringLiteral("指令");
    return QStringLiteral("原话");
}

bool showsMode(const HistoryEntry& entry)
{
    return filterValue(entry) != HistoryEntry::kAsk;
}

QString modeName(const QString& modeId)
{
    const StyleMode* mode = StyleMode::byId(modeId);
    return mode ? mode->name : modeId;
}

} // namespace EntryAction

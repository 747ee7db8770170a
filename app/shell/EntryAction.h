#pragma once

#include "core/store/HistoryEntry.h"

#include <QString>

class ColorPair;

// How an entry's action is labelled, coloured and filtered. An entry without an action, or with
// one this version does not know, is a dictation wherever it is labelled or coloured.
namespace EntryAction {

// The value the filter compares: the stored action, or "dictate" when there is none. An unknown
// action stays as it is, so it is listed under "全部" only.
QString filterValue(const HistoryEntry& entry);

// "听写", "翻译", "提问" or "改写".
QString actionName(const HistoryEntry& entry);
// gold, teal or violet of the current skin.
const ColorPair& actionColor(const HistoryEntry& entry);

// The label in front of the words as spoken: "问题", "指令" or "原话".
QString sourceLabel(const HistoryEntry& entry);
// Whether the card shows the style mode: every action but a question.
bool showsMode(const HistoryEntry& entry);
// The built-in mode's name for the id, or the id itself.
QString modeName(const QString& modeId);

} // namespace EntryAction

#pragma once

#include "core/store/HistoryEntry.h"

#include <QString>

// What a history card asks of the controller. Both calls return at once; the slow work
// (recognition, lexicon synchronisation, profile refresh) runs in the controller's own tasks and
// reports through the status line and a history change. Main thread only.
class HistoryEntryActions
{
public:
    virtual ~HistoryEntryActions() = default;

    // Recognises the entry's saved recording again and replaces its texts.
    virtual void retranscribe(const HistoryEntry& entry) = 0;
    // Stores the corrected text and learns from it; the text arrives exactly as the user left it
    // (untrimmed, perhaps unchanged): deciding whether anything changed is the controller's.
    virtual void correctHistory(const HistoryEntry& entry, const QString& newText) = 0;
};

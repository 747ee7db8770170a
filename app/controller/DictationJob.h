#pragma once

#include "app/desktop/ScreenContext.h"
#include "core/recognition/DictationRoads.h"
#include "core/store/HistoryEntry.h"

#include <QString>

#include <optional>

// Everything one dictation works from besides its take, fixed for the dictation's life.
struct DictationJob
{
    DictationRoads::Request request;
    // Saved, with the take, before any recognition; later updates find it by its id.
    HistoryEntry entry;
    quint64 generation = 0;
    std::optional<ScreenContext::Info> screenContext;
    std::optional<QString> targetBundleId;
};

#pragma once

#include "app/desktop/ScreenContext.h"
#include "core/store/HistoryEntry.h"
#include "core/text/DictationPipeline.h"
#include "core/text/StyleMode.h"
#include "core/text/StylePreferences.h"

#include <QString>

#include <memory>
#include <optional>

class StreamingTranscriptSource;

// Everything one dictation works from besides its take, fixed for the dictation's life.
struct DictationJob
{
    // The recording's live recognition, or none: then the whole take is recognised in batch.
    std::shared_ptr<StreamingTranscriptSource> session;
    StyleMode mode;
    std::optional<QString> languageHint;
    DictationPipeline pipeline;
    StylePreferences preferences;
    bool translate = false;
    QString lastPartial;
    // Saved, with the take, before any recognition; later updates find it by its id.
    HistoryEntry entry;
    quint64 generation = 0;
    std::optional<ScreenContext::Info> screenContext;
    std::optional<QString> targetBundleId;
};

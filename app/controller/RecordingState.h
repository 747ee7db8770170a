#pragma once

#include "app/desktop/ScreenContext.h"
#include "platform/Clock.h"
#include "platform/Workspace.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class StreamingAsr;

// What one recording carries from its start to its stop: the action asked for, the front
// application, what was read of the screen, the streaming session and the limit timers. Written
// by the recording start, the action switch and the stop. Main thread only.
struct RecordingState
{
    bool pendingTranslate = false;
    bool pendingAsk = false;
    bool pendingRewrite = false;
    std::optional<QString> rewriteSelection;

    // Tags the screen-context read of each recording, so a late read of an older one is dropped.
    quint64 recordSeq = 0;
    std::optional<ScreenContext::Info> screenContext;
    QString lastPartial;
    std::optional<RunningApplication> frontmostApp;
    std::chrono::milliseconds recordStartedAt{0};
    std::shared_ptr<StreamingAsr> streamer;
    Clock::TimerId maxDurationTimer = 0;
    Clock::TimerId softWarnTimer = 0;

    void clearPending()
    {
        pendingTranslate = pendingAsk = pendingRewrite = false;
        rewriteSelection.reset();
    }
};

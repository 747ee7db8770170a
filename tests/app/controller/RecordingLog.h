#pragma once

#include "app/controller/AppState.h"

#include <QObject>
#include <QStringList>

// Recordings as the state reports them, in order: "start" when one begins, "end" when it stops or
// is cancelled.
struct RecordingLog
{
    explicit RecordingLog(AppState& state)
    {
        QObject::connect(&state, &AppState::isRecordingChanged, &context,
                         [this](bool recording) { entries << (recording ? "start" : "end"); });
    }

    QObject context;
    QStringList entries;
};

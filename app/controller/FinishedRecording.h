#pragma once

#include "app/controller/RecordingPurpose.h"
#include "app/desktop/ScreenContext.h"
#include "core/audio/Samples.h"
#include "core/audio/TakeCut.h"
#include "platform/Workspace.h"

#include <QString>

#include <memory>
#include <optional>

class StreamingTranscriptSource;
class TakeJournal;

// Where a recording was made, as read while it ran.
struct RecordingScene
{
    // The application in front when the recording started.
    std::optional<RunningApplication> startedIn;
    // What was read of its screen; none when reading is off or had not answered by the stop.
    std::optional<ScreenContext::Info> screen;
    // The last words the streaming recognition showed.
    QString lastPartial;
    // Where the result goes: the window class of the application in front at the stop, or of the
    // one the recording started in when that is this program.
    std::optional<QString> target;
};

// A stopped recording, handed whole to the flow its purpose names.
struct FinishedRecording
{
    // The take at 16 kHz mono, boosted when the user asked for quiet speech to be raised; shared,
    // as a long take is tens of megabytes.
    std::shared_ptr<const Samples> samples;
    // Its live recognition, or none: then the take is recognised in batch.
    std::shared_ptr<StreamingTranscriptSource> session;
    RecordingPurpose purpose;
    RecordingScene scene;
    // The generation the stop took: once a newer recording moves it, the flow works on quietly.
    quint64 generation = 0;
    // The take's file as it was recorded (see AudioRecorder::Take::journal): a dictation holds it
    // until its entry is on disk, so that a crash before then still leaves the take behind.
    std::shared_ptr<TakeJournal> journal;
    // Set when the microphone stopped on its own and ended the take: the samples are what it
    // heard until then, and the take's status and entry say where it was cut.
    std::optional<TakeCut> cut;

    // Where the cut fell, in seconds, as the take's entry keeps it; none without a cut.
    std::optional<double> cutAtSeconds() const
    {
        return cut ? std::optional<double>(double(cut->at.count()) / 1000.0) : std::nullopt;
    }
};

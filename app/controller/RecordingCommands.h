#pragma once

#include <QString>

#include <optional>

// What the running recording will become when it stops, besides a plain dictation. At most one
// of the three is set; a rewrite always carries the selection it will rewrite.
struct PendingActions
{
    bool translate = false;
    bool ask = false;
    bool rewrite = false;
    std::optional<QString> rewriteSelection;

    bool operator==(const PendingActions&) const = default;
};

// The recording commands the hotkeys drive, implemented by the recording flows. Main thread
// only; every command returns at once and does nothing when it does not apply (stopping or
// cancelling with no recording running).
class RecordingCommands
{
public:
    virtual ~RecordingCommands() = default;

    // Starts a recording for the pending actions set beforehand.
    virtual void startRecording() = 0;
    virtual void stopAndTranscribe() = 0;
    // Abandons the running recording without recognising it.
    virtual void cancelDictation() = 0;

    virtual PendingActions pendingActions() const = 0;
    virtual void setPendingActions(const PendingActions& pending) = 0;
};

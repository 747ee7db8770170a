#pragma once

#include "app/controller/RecordingState.h"
#include "core/audio/Samples.h"
#include "core/text/StyleMode.h"

#include <QObject>

class AppServices;
class DictationTask;
class StreamingTranscriptSource;

// Ends the running recording and decides what becomes of it: too short a take is dropped, ask
// and rewrite recordings go to their flows, and a dictation gets its history entry, pipeline,
// mode, preferences and target and is handed to the dictation task. Returns at once.
// Main thread only.
class RecordingStop : public QObject
{
    Q_OBJECT

public:
    // Takes of this many samples or fewer (0.1 s) cannot hold speech.
    static constexpr qsizetype kTooShortSamples = 1600;
    static inline const QString kPlaceholder = QStringLiteral("（识别中…）");

    RecordingStop(AppServices& app, RecordingState& recording, DictationTask& dictation, QObject* parent = nullptr);

    void stopAndTranscribe();

    // Abandons the running recording without recognising it (Esc).
    void cancelDictation();

Q_SIGNALS:
    // An ask or rewrite recording, for the flows that answer them; session may be null.
    void askRecorded(const Samples& samples, std::shared_ptr<StreamingTranscriptSource> session);
    void rewriteRecorded(const Samples& samples, std::shared_ptr<StreamingTranscriptSource> session,
                         const QString& selection);

private:
    // Ends capture and the recording's feedback; returns the take.
    Samples endCapture();
    std::optional<QString> targetBundleId() const;
    StyleMode defaultMode() const;

    AppServices& m_app;
    RecordingState& m_recording;
    DictationTask& m_dictation;
};

#pragma once

#include "app/controller/DictationJob.h"
#include "app/controller/RecordingState.h"
#include "core/audio/AudioRecorder.h"
#include "core/text/StyleMode.h"

#include <QCoroTask>
#include <QObject>

class AppServices;
class DictationTask;
class QThreadPool;
class StreamingTranscriptSource;

// Ends the running recording and decides what becomes of it: too short a take is dropped, ask
// and rewrite recordings go to their flows, and a dictation gets its history entry, pipeline,
// mode, preferences and target and is handed to the dictation task. Returns at once: the take
// is converted to 16 kHz on a worker and handed on when that is done. Main thread only.
class RecordingStop : public QObject
{
    Q_OBJECT

public:
    // Takes of this many samples or fewer (0.1 s) cannot hold speech.
    static constexpr qsizetype kTooShortSamples = 1600;
    static inline const QString kPlaceholder = QStringLiteral("（识别中…）");

    // workers convert the takes; app, recording, dictation and workers must outlive this object.
    RecordingStop(AppServices& app, RecordingState& recording, DictationTask& dictation, QThreadPool& workers,
                  QObject* parent = nullptr);

    void stopAndTranscribe();

    // Abandons the running recording without recognising it (Esc).
    void cancelDictation();

    // Where the text of the recording that just stopped goes: the window class of the
    // application in front, or of the one the recording started in when that is us.
    std::optional<QString> targetBundleId() const;

Q_SIGNALS:
    // An ask or rewrite recording, for the flows that answer them; session may be null.
    void askRecorded(const Samples& samples, std::shared_ptr<StreamingTranscriptSource> session);
    void rewriteRecorded(const Samples& samples, std::shared_ptr<StreamingTranscriptSource> session,
                         const QString& selection);

private:
    // Ends capture and the recording's feedback; returns the take.
    AudioRecorder::Take endCapture();
    // The take at 16 kHz, boosted when asked, from a worker.
    QCoro::Task<Samples> convert(AudioRecorder::Take take, bool boost);
    // Hands an ask (no selection) or a rewrite to its flow, unless another recording has begun
    // while the take was converted.
    QCoro::Task<> handOver(AudioRecorder::Take take, bool boost, std::shared_ptr<StreamingTranscriptSource> session,
                           std::optional<QString> selection);
    QCoro::Task<> transcribe(AudioRecorder::Take take, DictationJob job);
    StyleMode defaultMode() const;

    AppServices& m_app;
    RecordingState& m_recording;
    DictationTask& m_dictation;
    QThreadPool& m_workers;
};

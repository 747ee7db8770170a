#pragma once

#include "core/audio/Samples.h"
#include "core/audio/TakeCut.h"
#include "platform/AudioInput.h"

#include <QCoroTask>
#include <QFuture>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class Resampler;
class TakeJournal;

// The microphone as 16 kHz mono samples, one take at a time. While a take runs every input buffer
// is kept in the device's own format (converted once, after the take ends) and two optional live
// consumers are fed on the capture thread: a level per buffer for the waveform, and the buffer
// converted to 16 kHz mono for streaming recognition.
//
// The microphone may stop on its own during a take (the sound server went away): the take keeps
// what it heard, says where it was cut, and the cut handler hears of it at once.
//
// start(), stop(), the setters and voiceProcessing belong to the main thread. The handlers run on
// the capture thread, level first, never while the recorder's lock is held; the stream's last
// samples (the filter's tail) come from stop(), on its caller's thread.
class AudioRecorder
{
public:
    using LevelHandler = std::function<void(float level)>;
    using StreamHandler = std::function<void(const Samples& samples)>;
    using CutHandler = std::function<void(const TakeCut& cut)>;

    // A finished take as the input delivered it, in the device's own format.
    struct Take
    {
        std::vector<std::vector<float>> buffers;
        AudioInputFormat format;
        // The file the take was written to as it was recorded; it stays on disk while anyone
        // holds this, so whoever keeps the take lets go of it once the take is safe elsewhere.
        std::shared_ptr<TakeJournal> journal;
        // Set when the microphone stopped before the take was ended.
        std::optional<TakeCut> cut;

        // Its length at 16 kHz, known before converting it; 0 for an unusable format.
        qsizetype expectedSamples() const;
        // The take at 16 kHz mono (see convertTake). A take of minutes costs tens of
        // milliseconds: the main thread hands it to a worker. Any thread.
        Samples toSamples() const;
    };

    explicit AudioRecorder(AudioInput& input);
    ~AudioRecorder();

    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    // Where every take is also written as it is recorded (TakeJournal), so a crash loses none of
    // it; empty for nowhere. The file goes with the last holder of the take's journal.
    void setJournalDirectory(QString directory) { m_journalDirectory = std::move(directory); }

    // An empty handler clears. Handlers stay across takes until replaced.
    void setLevelHandler(LevelHandler handler);
    void setStreamHandler(StreamHandler handler);
    void setCutHandler(CutHandler handler);

    // Begins a new, empty take (a second start without stop() discards the take so far), opening
    // the input unless this recorder already runs it. Returns once the take is under way; the
    // input's open, which a sound server may take seconds over, is awaited, never waited for.
    // Buffers count from the moment the input delivers them. Throws AudioCaptureError when the
    // input cannot start; no take begins then.
    QCoro::Task<void> start();
    // A start() is waiting for the input to open.
    bool isOpening() const { return m_opening; }

    // Ends the take and returns it unconverted (empty without a take), then stops the input. No
    // level or stream callback starts after it has taken the take, but for the stream's last
    // samples, which it hands over itself. Never throws, never waits: an input still opening is
    // stopped once it is open (the pending start() then finishes).
    Take stop();
    // Ends the take like stop(), but only once the input has delivered everything the microphone
    // heard up to this call: the sound server holds the last few milliseconds for a moment, and
    // a stop cuts them off. Levels and stream go on for them. A start() meanwhile waits for it.
    QCoro::Task<Take> finish();

    // Written from the user's audio-isolation setting before each start; capture does not use it
    // yet.
    bool voiceProcessing() const { return m_voiceProcessing; }
    void setVoiceProcessing(bool on) { m_voiceProcessing = on; }

    // The level of one buffer in [0, 1] from its first channel: (3.2 * RMS) ^ 1.4, clamped; 0 for
    // an empty buffer or a NaN.
    static float level(const float* frames, qsizetype frameCount, int channelCount);

private:
    void onBuffer(const float* frames, qsizetype frameCount);
    void onInputLost(const QString& reason);
    // Begins the take's journal, ending the one before; under no lock.
    void beginJournal();

    AudioInput& m_input;
    bool m_engineRunning = false;
    bool m_opening = false;
    bool m_stopWhenOpen = false;
    QFuture<QString> m_openingInput;
    // A finish() waits for the input's last frames; a start() waits for it in turn.
    bool m_finishing = false;
    QFuture<void> m_finished;
    // Tells a start() that resumes after its open whether this recorder still exists.
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
    bool m_voiceProcessing = false;

    // Replaced only while the input is stopped, so the capture thread can use it without the lock.
    std::unique_ptr<Resampler> m_streamConverter;

    std::mutex m_lock;
    // Guarded by m_lock. Handlers are shared so the capture thread takes them without allocating.
    std::vector<std::vector<float>> m_buffers;
    AudioInputFormat m_format;
    bool m_accumulating = false;
    std::shared_ptr<const LevelHandler> m_levelHandler;
    std::shared_ptr<const StreamHandler> m_streamHandler;
    std::shared_ptr<const CutHandler> m_cutHandler;
    // The take's frames so far, and where the microphone cut it.
    qint64 m_takeFrames = 0;
    std::optional<TakeCut> m_cut;
    std::shared_ptr<TakeJournal> m_journal;
    QString m_journalDirectory;
};

#pragma once

#include <QFuture>
#include <QString>

#include <functional>
#include <optional>

// The shape of the samples a microphone delivers: interleaved 32-bit float frames.
struct AudioInputFormat
{
    int sampleRate = 0;
    int channelCount = 0;

    bool operator==(const AudioInputFormat&) const = default;
};

// The microphone. An input is opened in two steps so its user can get ready for the format
// before the first buffer arrives: prepare() chooses the device and learns its own format,
// start() begins delivering buffers on a capture thread of the input's own.
class AudioInput
{
public:
    // Called on the capture thread with `frameCount` interleaved frames in the prepared format.
    // The pointer is valid only during the call.
    using BufferHandler = std::function<void(const float* frames, qsizetype frameCount)>;
    // Called once on the capture thread when the device stops on its own (the sound server went
    // away), with why; every frame heard before has reached the buffer handler, which is not
    // called again. Never called once stop() or a finished finish() has ended the capture.
    using LossHandler = std::function<void(const QString& reason)>;

    virtual ~AudioInput() = default;

    // Chooses the input device and returns its format, or nothing with `error` set (no device,
    // no usable format). Nothing is captured yet. Not to be called while started.
    virtual std::optional<AudioInputFormat> prepare(QString* error) = 0;

    // Begins capturing in the format prepare() returned, without waiting for the device: a sound
    // server may take a second or more to open a stream. The future finishes once the device is
    // open, with an empty text (buffers follow), or with why it would not open (the handlers are
    // then never called).
    virtual QFuture<QString> start(BufferHandler handler, LossHandler lost) = 0;

    // Ends capture. When it returns, the handler is not running and will not be called again.
    // Harmless when not started; not to be called before start()'s future has finished.
    virtual void stop() = 0;

    // Ends capture once everything the microphone heard up to this call has reached the handler,
    // the last buffer as long as it is (possibly shorter than the others); nothing heard after it
    // does. Never waits: the sound server may still hold the last few milliseconds. The future
    // finishes when the handler will not be called again, also when stop() cut it short. The
    // default stops at once, for an input that has nothing on the way.
    virtual QFuture<void> finish()
    {
        stop();
        return QtFuture::makeReadyFuture();
    }
};

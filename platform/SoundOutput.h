#pragma once

#include <QByteArray>

#include <functional>
#include <memory>

// One prepared sound on the desktop's sound output. Main thread only.
class Sound
{
public:
    virtual ~Sound() = default;

    // Plays from the beginning at volume (0...1); a play still running is cut short and starts
    // over.
    virtual void play(float volume) = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;

    // Called when a play reaches the end of the sound; never after stop() or destruction.
    std::function<void()> onFinished;
};

// The desktop's default sound output (on Linux the sound server's default sink).
class SoundOutput
{
public:
    virtual ~SoundOutput() = default;

    // A sound made from a WAV image of 16-bit PCM; null when the bytes are not one or the output
    // cannot take its format.
    virtual std::unique_ptr<Sound> makeSound(const QByteArray& wav) = 0;
};

#pragma once

#include "platform/SoundOutput.h"

#include <QAudioFormat>

// Sounds on the default audio output through Qt Multimedia (PulseAudio or PipeWire underneath).
class QtSoundOutput : public SoundOutput
{
public:
    std::unique_ptr<Sound> makeSound(const QByteArray& wav) override;

    struct Pcm
    {
        QAudioFormat format;
        QByteArray data;
    };
    // The 16-bit PCM in a RIFF/WAVE image; none when the image holds anything else.
    static std::optional<Pcm> parseWav(const QByteArray& wav);
};

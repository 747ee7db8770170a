// The sound output reads the format of every image it is handed from the image itself; a broken
// header must be refused, never read past.
#include "fuzz/FuzzInput.h"
#include "platform/linux/audio/QtSoundOutput.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray wav = fuzzBytes(data, size);
    const std::optional<QtSoundOutput::Pcm> pcm = QtSoundOutput::parseWav(wav);
    if (!pcm)
        return 0;
    const int channels = pcm->format.channelCount();
    if (channels < 1 || channels > 8 || pcm->format.sampleFormat() != QAudioFormat::Int16)
        std::abort();
    if (pcm->data.isEmpty() || pcm->data.size() > wav.size() - 12 || pcm->data.size() % (2 * channels) != 0)
        std::abort();
    if (!wav.contains(pcm->data))
        std::abort();
    return 0;
}

#include "core/audio/AudioStorage.h"

#include "core/MurmoError.h"
#include "core/audio/RecordingConverter.h"
#include "core/audio/SoundFile.h"
#include "core/audio/WavEncoder.h"
#include "core/ogg/OGGConverter.h"
#include "core/ogg/OGGDecoder.h"

#include <QFile>
#include <QSaveFile>

namespace AudioStorage {

namespace {

bool writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // Unbuffered: a write cut short by a full disk then fails here, where a buffered one would
    // fail unreported at commit and leave a cut-off recording in place.
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size() &&
           file.commit();
}

Samples decodeOgg(const QByteArray& bytes)
{
    try {
        // Converted packet by packet: a long 48 kHz stereo file never exists here whole at its
        // own rate, only as the recording it becomes. No more is reserved than decoding the file
        // could fill anyway.
        RecordingConverter converter(
            std::min(OGGDecoder::statedFrames(bytes, kRecordingSampleRate), OGGDecoder::kDefaultMaxOutput));
        OGGDecoder decoder(bytes, converter);
        return converter.finish();
    } catch (const MurmoError&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

Samples decodePCM(const QByteArray& bytes)
{
    const std::optional<SoundFile::Audio<float>> audio = SoundFile::readFloat(bytes);
    if (!audio)
        return {};
    return SoundFile::toRecordingRate(audio->interleaved, audio->sampleRate, audio->channels);
}

} // namespace

bool write(std::span<const float> samples, const QString& path)
{
    if (samples.empty())
        return false;
    // The samples go through the same 16-bit quantisation as a WAV image would give them.
    const QByteArray wav = WavEncoder::encode(samples, kRecordingSampleRate);
    const QByteArrayView pcm = QByteArrayView(wav).sliced(WavEncoder::kHeaderSize);
    try {
        if (writeWhole(path, OGGConverter::encodeOpusOGG(pcm, kRecordingSampleRate, 1)))
            return true;
    } catch (const MurmoError&) {
    } catch (const std::bad_alloc&) {
    }
    // Kept uncompressed rather than lost; readSamples() recognises it by its content.
    return writeWhole(path, wav);
}

Samples readSamples(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    if (bytes.startsWith("OggS"))
        return decodeOgg(bytes);
    return decodePCM(bytes);
}

} // namespace AudioStorage

#pragma once

#include "core/audio/Samples.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// Audio files in the formats libsndfile knows (WAV, FLAC, AIFF, ...), read from bytes in memory
// and written through a file descriptor, plus the one conversion every reader needs: any rate and
// channel count to 16 kHz mono.
namespace SoundFile {

template <typename T> struct Audio
{
    std::vector<T> interleaved;
    int sampleRate = 0;
    int channels = 0;

    qsizetype frames() const { return channels > 0 ? qsizetype(interleaved.size()) / channels : 0; }
};

// The whole file's audio, or std::nullopt when libsndfile cannot read it; *error says why.
std::optional<Audio<float>> readFloat(QByteArrayView bytes, QString* error = nullptr);
std::optional<Audio<int16_t>> readInt16(QByteArrayView bytes, QString* error = nullptr);

// The libsndfile container for a file name's extension ("wav", "flac", ...), 0 when none.
int majorFormatForFileName(const QString& fileName);

// Writes audio to the open, seekable descriptor fd in the given container. Returns false when
// the container cannot hold this layout (*layoutRefused set) or writing failed (*error set).
bool writeFloat(int fd, int majorFormat, const Audio<float>& audio, bool* layoutRefused, QString* error);

// Interleaved audio at any rate as 16 kHz mono: channels are averaged, the rate converted with
// libsoxr. Empty when the rate or the channel count makes no sense, or without libsoxr.
Samples toRecordingRate(const std::vector<float>& interleaved, int sampleRate, int channels);

} // namespace SoundFile

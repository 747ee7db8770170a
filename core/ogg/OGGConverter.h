#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File conversions to and from Ogg/Opus. Both hold the whole recording in memory and run on the
// calling thread (callers with long recordings use a worker); each call is independent, so any
// number may run at once. Every failure is thrown as OGGConverterError; the destination is
// replaced atomically, so a failed conversion never leaves a half-written file behind.
namespace OGGConverter {

// Any audio file libsndfile reads (WAV, FLAC, ...) to Ogg/Opus at the file's own rate, which
// must be one Opus encodes at (8, 12, 16, 24 or 48 kHz).
void convertAudioFileToOpusOGG(const QString& src, const QString& dest);

// An Ogg/Opus file to the container that dest's extension names (".wav", ".flac", ...), at the
// decoded rate and channel count.
void convertOpusOGGToWavFile(const QString& src, const QString& dest);

// The Ogg/Opus stream of interleaved 16-bit PCM at sampleRate, as the file converter writes it:
// every sample, the stream finished and all pages flushed. Throws OpusError or OggError.
QByteArray encodeOpusOGG(QByteArrayView pcm16, int sampleRate, int channels);

} // namespace OGGConverter

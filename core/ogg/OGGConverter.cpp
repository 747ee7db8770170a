#include "core/ogg/OGGConverter.h"

#include "core/audio/SoundFile.h"
#include "core/ogg/OGGConverterError.h"
#include "core/ogg/OGGDecoder.h"
#include "core/ogg/OGGEncoder.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace OGGConverter {

namespace {

QByteArray readWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw OGGConverterError::other(QStringLiteral("无法读取音频文件: ") + file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw OGGConverterError::other(QStringLiteral("无法读取音频文件: ") + file.errorString());
    return bytes;
}

void writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw OGGConverterError::other(QStringLiteral("无法写入音频文件: ") + file.errorString());
}

// Runs a step whose failures come from below and hands them on wrapped, keeping the original.
template <typename Step> auto wrapped(Step step)
{
    try {
        return step();
    } catch (const OGGConverterError&) {
        throw;
    } catch (const MurmoError& error) {
        throw OGGConverterError::other(error.description(), std::current_exception());
    } catch (const std::bad_alloc&) {
        throw OGGConverterError::other(QStringLiteral("音频转换失败: 内存不足"), std::current_exception());
    }
}

} // namespace

QByteArray encodeOpusOGG(QByteArrayView pcm16, int sampleRate, int channels)
{
    OGGEncoder encoder(sampleRate, channels, uint32_t(channels) * 2, sampleRate, OGGEncoder::Application::Audio);
    encoder.encode(pcm16);
    encoder.finish();
    return encoder.bitstream(true);
}

void convertAudioFileToOpusOGG(const QString& src, const QString& dest)
{
    const QByteArray bytes = readWhole(src);
    QString why;
    const std::optional<SoundFile::Audio<int16_t>> audio = SoundFile::readInt16(bytes, &why);
    if (!audio)
        throw OGGConverterError::other(QStringLiteral("无法读取音频文件: ") + why);
    if (audio->interleaved.empty())
        throw OGGConverterError(OGGConverterError::Kind::FailedToCreatePCMBuffer);
    const QByteArray ogg = wrapped([&] {
        const QByteArrayView pcm(reinterpret_cast<const char*>(audio->interleaved.data()),
                                 qsizetype(audio->interleaved.size() * sizeof(int16_t)));
        return encodeOpusOGG(pcm, audio->sampleRate, audio->channels);
    });
    writeWhole(dest, ogg);
}

void convertOpusOGGToWavFile(const QString& src, const QString& dest)
{
    const QByteArray bytes = readWhole(src);
    SoundFile::Audio<float> audio = wrapped([&] {
        OGGDecoder decoder(bytes);
        return SoundFile::Audio<float>{std::move(decoder.pcmData), decoder.sampleRate, decoder.numChannels};
    });
    if (audio.interleaved.empty())
        throw OGGConverterError(OGGConverterError::Kind::FailedToCreatePCMBuffer);
    const int majorFormat = SoundFile::majorFormatForFileName(dest);
    if (majorFormat == 0)
        throw OGGConverterError::other(QStringLiteral("不支持的音频文件类型: ") + QFileInfo(dest).suffix());

    QSaveFile file(dest);
    if (!file.open(QIODevice::WriteOnly))
        throw OGGConverterError::other(QStringLiteral("无法写入音频文件: ") + file.errorString());
    bool layoutRefused = false;
    QString why;
    if (!SoundFile::writeFloat(file.handle(), majorFormat, audio, &layoutRefused, &why)) {
        file.cancelWriting();
        if (layoutRefused)
            throw OGGConverterError(OGGConverterError::Kind::FailedToCreateChannelLayout);
        throw OGGConverterError::other(QStringLiteral("无法写入音频文件: ") + why);
    }
    if (!file.commit())
        throw OGGConverterError::other(QStringLiteral("无法写入音频文件: ") + file.errorString());
}

} // namespace OGGConverter
